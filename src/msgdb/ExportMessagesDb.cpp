#include "msgdb/ExportMessagesDb.h"

#include "msgdb/AttachmentCopyPath.h"
#include "msgdb/MsgDbLog.h"

#include "model/MessageRecycleDb.h"
#include "model/MsgAttachment.h"
#include "model/MsgChat.h"
#include "model/MsgHandle.h"

#include <QFile>
#include <QFileInfo>
#include <QtDebug>

#include <exception>

ExportMessagesDb::ExportMessagesDb(const QDir& folder, const QString& mcc)
    : messageDb(folder, mcc, true)
{
}

ExportMessagesDb::~ExportMessagesDb() = default;

void ExportMessagesDb::begin()
{
    added = 0;
    messageDb.beginTransaction();
}

void ExportMessagesDb::write(const _MsgMessage& message)
{
    // hasItemType reads the schema cache, which only an open fills.
    messageDb.initDb();
    if (message.item_type != 0 && !messageDb.hasItemType())
        return;
    if (!message.chat) {
        qCDebug(lcMsgDb, "skip message with empty chat.");
        return;
    }
    if (message.chat->rowid <= unknownChatRowidBase) {
        qCDebug(lcMsgDb, "skip message with unknown chat.");
        return;
    }

    const _MsgChat& chat = *message.chat;
    // One lookup serves a message of a known chat; a new chat brings its handles and
    // joins with it, so the sender is looked up again after it.
    // The fingerprint is an MD5 of the message: worked out once for the lookup and the insert.
    const QString fingerprint = message.logicHash();
    const IOS6MessageDb::MessageLookup found = messageDb.lookUpMessage(message, fingerprint);
    qint64 chatRow = found.chatRow;
    qint64 handleRow = found.handleRow;
    if (!chatRow) {
        chatRow = messageDb.insertChat(chat);
        handleRow = message.handle ? joinedHandle(chatRow, *message.handle) : 0;
    } else if (message.handle && !handleRow) {
        handleRow = messageDb.insertHandle(*message.handle);
        messageDb.joinChatHandle(chatRow, handleRow);
    } else if (message.handle && !found.handleJoined) {
        messageDb.joinChatHandle(chatRow, handleRow);
    }

    qint64 messageRow = found.messageRow;
    if (!messageRow) {
        const qint64 otherHandleRow = message.otherHandle ? joinedHandle(chatRow, *message.otherHandle) : 0;
        messageRow = messageDb.insertMessage(message, handleRow, otherHandleRow, fingerprint);
        messageDb.joinChatMessage(chatRow, messageRow);
        messageDb.updateChatLast(chatRow, message.date);
        ++added;
    }

    if (chat.isGroupChat() && message.handle)
        messageDb.setLastAddressedHandle(chatRow, message.handle->id);
    for (const _MsgAttachment* attachment : message.sortedAttachments())
        writeAttachment(messageRow, *attachment);
}

void ExportMessagesDb::end()
{
    messageDb.endTransaction(true);
    messageDb.close();
}

void ExportMessagesDb::abandon() noexcept
{
    // A plain close would leave the transaction to SQLite, and AbsDb believing it open.
    try {
        messageDb.endTransaction(false);
    } catch (const std::exception& e) {
        qCWarning(lcMsgDb, "ExportMessagesDb: rollback failed. %s", e.what());
    }
    messageDb.close();
}

qint64 ExportMessagesDb::joinedHandle(qint64 chatRow, const _MsgHandle& handle)
{
    qint64 handleRow = messageDb.findHandle(handle);
    if (!handleRow)
        handleRow = messageDb.insertHandle(handle);
    else if (messageDb.hasChatHandle(chatRow, handleRow))
        return handleRow;
    messageDb.joinChatHandle(chatRow, handleRow);
    return handleRow;
}

void ExportMessagesDb::writeAttachment(qint64 messageRow, const _MsgAttachment& attachment)
{
    copyAttachmentFile(attachment);
    qint64 attachmentRow = messageDb.findAttachmentByGuid(attachment);
    if (!attachmentRow)
        attachmentRow = messageDb.insertAttachment(attachment);
    messageDb.joinMessageAttachment(messageRow, attachmentRow);
}

void ExportMessagesDb::copyAttachmentFile(const _MsgAttachment& attachment)
{
    if (attachment.localPath.isEmpty() || !QFileInfo(attachment.localPath).isFile())
        return;
    const QString target = attachmentCopyPath(messageDb.fileRelayFolder(), attachment.filename);
    if (target.isEmpty()) {
        qCWarning(lcMsgDb, "ExportMessagesDb: attachment file name %s leads outside the database folder; not copied.",
                  qUtf8Printable(attachment.filename));
        return;
    }
    // A file already there is kept; a copy that fails leaves the row without its file.
    if (QFileInfo::exists(target))
        return;
    QDir().mkpath(QFileInfo(target).absolutePath());
    if (!QFile::copy(attachment.localPath, target))
        qCWarning(lcMsgDb, "ExportMessagesDb: cannot copy %s to %s.", qUtf8Printable(attachment.localPath),
                  qUtf8Printable(target));
}
