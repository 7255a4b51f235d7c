#include "ios/FileRelayEntryName.h"

#include <QDir>
#include <QRegularExpression>
#include <QStringList>

QString fileRelayEntryPath(const QString& entryName)
{
    static const QRegularExpression leadingDot(QStringLiteral("^\\./"));
    static const QRegularExpression unfitCharacters(QStringLiteral("[:*?\"<>|]"));
    QString name = entryName;
    name.remove(leadingDot);
    name.remove(unfitCharacters);
    if (name.startsWith(QLatin1Char('/')) || name.split(QLatin1Char('/')).contains(QLatin1String("..")))
        return QString();
    const QString cleaned = QDir::cleanPath(name);
    return cleaned == QLatin1String(".") ? QString() : cleaned;
}
