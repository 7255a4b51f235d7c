#include "ios/AfcFileInfo.h"

#include "ios/AfcConnection.h"
#include "ios/afc.h"

#include <exception>

AfcFileInfo AfcFileInfo::query(AfcConnection& connection, const QString& path)
{
    if (connection.socket() == 0)
        return {};
    try {
        return fromPairs(path, afc_get_file_info(connection.socket(), path));
    } catch (const std::exception&) {
        return {};
    }
}

AfcFileInfo AfcFileInfo::fromPairs(const QString& path, const QMap<QString, QString>& pairs)
{
    AfcFileInfo info(path);
    info.st_ifmt = pairs.value(QStringLiteral("st_ifmt"));
    info.size = pairs.value(QStringLiteral("st_size")).toLongLong();
    const auto mtime = pairs.constFind(QStringLiteral("st_mtime"));
    // Nanoseconds since 1970, shown in local time.
    if (mtime != pairs.constEnd())
        info.mtime = QDateTime::fromMSecsSinceEpoch(mtime->toLongLong() / 1000000);
    return info;
}
