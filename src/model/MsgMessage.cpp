#include "model/MsgMessage.h"

#include "model/AppleTime.h"
#include "model/EmojiFinder.h"
#include "model/MsgAttachment.h"
#include "model/MsgChat.h"
#include "model/MsgHandle.h"
#include "model/SafeSort.h"
#include "model/SortPredicates.h"

#include <QCryptographicHash>
#include <QStringList>
#include <QtEndian>

#include <algorithm>

namespace {

constexpr char16_t attachmentMark = u'\uFFFC';

// Both separators, so that a name stored with backslashes fingerprints alike
// wherever the database was written.
QString lastPathComponent(const QString& path)
{
    const qsizetype slash = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    return path.mid(slash + 1);
}

QString nameOrYou(const _MsgHandle* handle)
{
    return handle ? handle->displayName(false) : QStringLiteral("You");
}

QString attachmentTag(const QString& mimeType)
{
    if (mimeType.startsWith(QLatin1String("image/"), Qt::CaseInsensitive))
        return QStringLiteral(" [IMAGE]");
    if (mimeType.startsWith(QLatin1String("video/"), Qt::CaseInsensitive))
        return QStringLiteral(" [VIDEO]");
    if (mimeType.startsWith(QLatin1String("audio/"), Qt::CaseInsensitive))
        return QStringLiteral(" [AUDIO]");
    if (mimeType.compare(QLatin1String("text/x-vCard"), Qt::CaseInsensitive) == 0
        || mimeType.compare(QLatin1String("text/vcard"), Qt::CaseInsensitive) == 0)
        return QStringLiteral(" [VCARD]");
    return QStringLiteral(" [ATTA]");
}

} // namespace

QString _MsgMessage::plainText() const
{
    QString plain = text;
    return plain.remove(QChar(attachmentMark));
}

QString _MsgMessage::logicHash() const
{
    QCryptographicHash md5(QCryptographicHash::Md5);
    if (item_type != 0) {
        md5.addData(guid.toUtf8());
        return QString::fromLatin1(md5.result().toHex());
    }
    if (handle)
        md5.addData(handle->id.toUtf8());
    char dateBytes[4];
    qToLittleEndian(date, dateBytes);
    md5.addData(QByteArrayView(dateBytes, 4));
    const char fromMe = char(is_from_me & 0xFF);
    md5.addData(QByteArrayView(&fromMe, 1));
    md5.addData(plainText().toUtf8());
    QStringList names;
    for (const _MsgAttachment* attachment : attachments)
        if (!attachment->filename.isEmpty())
            names << lastPathComponent(attachment->filename).toLower();
    names.sort(Qt::CaseSensitive); // by UTF-16 code units
    for (const QString& name : std::as_const(names))
        md5.addData(name.toUtf8());
    return QString::fromLatin1(md5.result().toHex());
}

QList<_MsgAttachment*> _MsgMessage::sortedAttachments() const
{
    QList<_MsgAttachment*> sorted = attachments.values();
    safeSort(sorted, lessThanId64<_MsgAttachment>);
    return sorted;
}

QString _MsgMessage::summary() const
{
    if (item_type == 0) {
        QString line = plainText();
        for (const _MsgAttachment* attachment : attachments)
            line += attachmentTag(attachment->mime_type);
        return line.trimmed();
    }
    const QString when = dateTimeFromAppleTime(date).toString(QStringLiteral("dd MMM yyyy h:mm AP"));
    switch (item_type) {
    case 1:
        return QStringLiteral("%1 Added %2 to the conversation.\n%3").arg(nameOrYou(handle), nameOrYou(otherHandle), when);
    case 2:
        return QStringLiteral("%1 named the conversation \"%2\".\n%3").arg(nameOrYou(handle), group_title, when);
    case 3:
        return QStringLiteral("%1 left the conversation.\n%2").arg(nameOrYou(handle), when);
    case 4:
        return QStringLiteral("%1 %2 sharing location with %3.\n%4")
            .arg(nameOrYou(handle), share_status != 0 ? QStringLiteral("stopped") : QStringLiteral("started"),
                 nameOrYou(otherHandle), when);
    default:
        return QStringLiteral("System Information.\n%1").arg(when);
    }
}

QString _MsgMessage::displayText() const
{
    QString line = summary();
    return replaceEmoji(line, emojiPlaceholder, nullptr);
}

QString _MsgMessage::senderName() const
{
    if (!chat)
        return QStringLiteral("unknown");
    QString name = chat->displayName(true);
    if (chat->isGroupChat() && handle)
        name += QStringLiteral(" (%1)").arg(handle->_ct_name.isEmpty() ? handle->id : handle->_ct_name);
    return name;
}
