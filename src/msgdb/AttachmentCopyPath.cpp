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
    // The message database and its side files live below the same folder: a crafted
    // attachment name must not replace them or plant a log SQLite would replay.
    static const QRegularExpression databaseFile(
        QRegularExpression::anchoredPattern(QStringLiteral("var/mobile/Library/SMS/sms\\.db(-wal|-shm|-journal)?")),
        QRegularExpression::CaseInsensitiveOption);
    if (databaseFile.match(cleaned).hasMatch())
        return {};
    return QDir::cleanPath(fileRelayDir.absolutePath() + QLatin1Char('/') + cleaned);
}
