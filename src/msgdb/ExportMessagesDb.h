#pragma once

#include "msgdb/AbsFormatExport.h"
#include "msgdb/IOS6MessageDb.h"

#include "model/MsgMessage.h"

#include <QDir>
#include <QString>

// Writes messages with their chats, handles, attachments and join rows into the
// iOS 6 database below a folder (a local database or a device cache), creating or
// upgrading it on begin. Nothing is written twice: chats are found by GUID, handles
// by id and service, messages by fingerprint and then by GUID, attachments by GUID.
// Attachment files are copied beside the database, under "file-relay".
class ExportMessagesDb : public AbsFormatExport<_MsgMessage>
{
public:
    // mcc: the device's mobile country code; empty for local databases.
    ExportMessagesDb(const QDir& folder, const QString& mcc);
    ~ExportMessagesDb() override;

    // Opens (creating or upgrading) the database and opens a transaction.
    void begin() override;
    // Skips, without failing, a message without a chat, one filed in a recycled
    // "unknown" chat, and a group event the target's schema cannot hold. A message
    // already present is not inserted again, but its sender, its chat's last addressed
    // handle and its attachments are still brought in and joined to the existing row.
    void write(const _MsgMessage& message) override;
    // Commits and closes the connection.
    void end() override;
    // Drops everything written since begin and closes the connection; never throws.
    void abandon() noexcept;
    // The message rows this exporter inserted since begin; another writer's rows are not
    // among them.
    qint64 addedMessages() const { return added; }

    // Public so that callers can look rows up between begin and end.
    IOS6MessageDb messageDb;

private:
    // The handle's row, inserted when missing, and joined to the chat.
    qint64 joinedHandle(qint64 chatRow, const _MsgHandle& handle);
    void writeAttachment(qint64 messageRow, const _MsgAttachment& attachment);
    void copyAttachmentFile(const _MsgAttachment& attachment);

    qint64 added = 0;
};
