#include "msgdb/AttachmentCopyPath.h"

#include <QRegularExpression>

QString attachmentCopyPath(const QDir& fileRelayDir, const QString& filename)
{
    static const QRegularExpression leadingSlash(QStringLiteral("^/"));
    static const QRegularExpression homePrefix(QStringLiteral("^~/"));
    static const QRegularExpression forbidden(QStringLiteral("[\\\\:*?\"<>|]"));

    QString relative = filename;
    relative.replace(leadingSlash, QString());
    relative.replace(homePrefix, QStringLiteral("var/mobile/"));
    relative.remove(forbidden);
    if (relative.isEmpty() || QDir::isAbsolutePath(relative))
        return {};
    const QString cleaned = QDir::cleanPath(relative);
    if (cleaned == QLatin1String(".") || cleaned == QLatin1String("..") || cleaned.startsWith(QLatin1String("../")))
        return {};
    return QDir::cleanPath(fileRelayDir.absolutePath() + QLatin1Char('/') + cleaned);
}
