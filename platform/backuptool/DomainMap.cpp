#include "DomainMap.h"

namespace {

const QString mobilePrefix = QStringLiteral("var/mobile/");
const QString wirelessPrefix = QStringLiteral("var/wireless/");
const QString home = QStringLiteral("HomeDomain");
const QString media = QStringLiteral("MediaDomain");
const QString wireless = QStringLiteral("WirelessDomain");

bool isBelow(const QString& path, const QString& folder)
{
    return path == folder || path.startsWith(folder + QLatin1Char('/'));
}

} // namespace

DomainPath domainPathOf(const QString& phonePath)
{
    if (phonePath.startsWith(wirelessPrefix))
        return {wireless, phonePath.mid(wirelessPrefix.size())};
    if (!phonePath.startsWith(mobilePrefix))
        return {};
    const QString inside = phonePath.mid(mobilePrefix.size());
    if (isBelow(inside, QStringLiteral("Library/SMS/Attachments")) || isBelow(inside, QStringLiteral("Media")))
        return {media, inside};
    return {home, inside};
}

QString phonePathOf(const DomainPath& entry)
{
    if (entry.domain == home || entry.domain == media)
        return mobilePrefix + entry.path;
    if (entry.domain == wireless)
        return wirelessPrefix + entry.path;
    return QString();
}
