#pragma once

#include "msgdb/AbsIOSMessageDb.h"
#include "msgdb/InsertValues.h"

#include "model/CountryLibDb.h"
#include "model/IOSContactsMemDb.h"
#include "model/MessageRecycleDb.h"

#include <QDir>
#include <QHash>
#include <QString>

#include <memory>
#include <optional>

class ReadOnlyDatabaseSource;

// Reader and writer of the iOS 6 and later sms.db schema: an iPhone's database, a
// backup's copy, a device cache or a local database (the same schema plus a few
// columns of our own). The file lies at "file-relay/var/mobile/Library/SMS/sms.db"
// below the folder, as after a file_relay download. Every operation opens the file on
// first use; none of them begins or ends a transaction.
class IOS6MessageDb : public AbsIOSMessageDb
{
public:
    // upgradeSchema: add missing columns to an existing file. Set it for our own files
    // only; a phone's or a backup's database is never changed.
    IOS6MessageDb(const QDir& folder, const QString& mcc, bool upgradeSchema);
    ~IOS6MessageDb() override;

    // Opens the file, creating it with the local schema when missing; a read-only source
    // is only read, and must exist.
    void initDb() override;
    void chats(MsgSetPtr& set) override;
    // chatKey: the row id of one chat, or 0 or below for every chat.
    void messages(MsgSetPtr& set, qint64 chatKey) override;
    int iosVersion() override { return 6; }

    const QDir& workFolder() const { return folder; }
    const QDir& fileRelayFolder() const { return fileRelayDir; }
    QString databasePath() const override { return dbPath; }
    // Takes effect only before the file is first opened.
    void setDbPath(const QString& path) { dbPath = path; }
    // Reads the file at path without ever changing it or anything beside it (a file someone
    // handed in): nothing is created or upgraded, and writes fail. Takes effect only before
    // the file is first opened.
    void setReadOnlySource(const QString& path);
    MessageRecycleDb* recycleDb() { return &recycle; }

    // Whether the cached CREATE text of the table holds the probe; false before the
    // first open and for a table the file lacks.
    bool tableHas(const QString& table, const QString& probe, Qt::CaseSensitivity cs = Qt::CaseSensitive) const;
    bool hasItemType() const;
    // Raises the chat's _last to date (never lowers it); nothing on a file without _last.
    void updateChatLast(qint64 chatId, int date);
    // Takes the unit of the dates this connection writes from the messages present now, so
    // that a table emptied and filled again keeps the file's unit.
    void settleDateUnit();

    // Inserts return the new row id; lookups return 0 when nothing matches.
    qint64 insertHandle(const _MsgHandle& handle);
    // The row ids come from the arguments, not from the message's links; an empty
    // fingerprint stores the message's own.
    qint64 insertMessage(const _MsgMessage& message, qint64 handleRowId, qint64 otherHandleRowId,
                         const QString& fingerprint);
    qint64 insertAttachment(const _MsgAttachment& attachment);
    // Also finds or inserts every handle of the chat and joins it. Throws for a service
    // other than "SMS" or "iMessage".
    qint64 insertChat(const _MsgChat& chat);
    void joinChatHandle(qint64 chatId, qint64 handleId);
    void joinChatMessage(qint64 chatId, qint64 messageId);
    void joinMessageAttachment(qint64 messageId, qint64 attachmentId);
    void setLastAddressedHandle(qint64 chatId, const QString& handleId);

    qint64 findAttachmentByGuid(const _MsgAttachment& attachment);
    qint64 findChatByGuid(const QString& guid);
    qint64 findMessageByGuid(const QString& guid);
    // By the handle's id and service.
    qint64 findHandle(const _MsgHandle& handle);
    bool hasChatHandle(qint64 chatId, qint64 handleId);
    // 0 without a query when the file has no logic_hash column.
    qint64 findMessageByLogicHash(const _MsgMessage& message);
    // What writing a message asks first, in one statement: its chat's row by GUID, its
    // sender's handle row (when it has a sender) and whether that handle is joined to the
    // chat, and the message's row by fingerprint (the message's own, as insertMessage
    // stores it), then by GUID. 0 stands for none.
    struct MessageLookup
    {
        qint64 chatRow = 0;
        qint64 handleRow = 0;
        bool handleJoined = false;
        qint64 messageRow = 0;
    };
    MessageLookup lookUpMessage(const _MsgMessage& message, const QString& fingerprint);
    // Chat-message join rows, leaving out location-sharing events where item_type exists.
    qint64 countChatMessages();
    // Deletes the message row and its join rows, then its chat when no message is left
    // in it; the schema's triggers clean up handles and attachments.
    void deleteMessage(const _MsgMessage& message);
    // What the schema's trigger clean_orphaned_messages does for every join row deleted:
    // deletes each message that no chat holds.
    void deleteOrphanedMessages();

private:
    void createFromSchemaScript();
    void upgradeColumns();
    void loadTableSql();
    qint64 findRowId(const Sqlite3Sql& query);
    // A date as this file stores it: nanoseconds when its newest dated message holds
    // nanoseconds, as on later phones, so that one file never mixes units; 0 stays 0.
    qint64 storedDate(qint32 seconds);
    qint64 findOrInsertHandle(const _MsgHandle& handle);
    // Inserts the row through the table's statement of this connection; returns the row id.
    qint64 insertValues(const QString& table, const InsertValues& row);

    // A table's INSERT text, built for the columns of its first row on a connection.
    struct PreparedInsert
    {
        QList<InsertValues::Column> columns;
        QByteArray sql;
    };

    QDir folder;
    QDir fileRelayDir;
    IOSContactsMemDb contacts;
    MessageRecycleDb recycle;
    CountryLibDb country;
    // Table name -> its CREATE statement, refreshed at every open.
    QHash<QString, QString> tableSql;
    // Answers of tableHas, asked for every message written; emptied when tableSql reloads.
    mutable QHash<QString, bool> tableProbes;
    // Emptied with tableSql: the columns an insert names depend on the file's schema.
    QHash<QString, PreparedInsert> preparedInserts;
    // Whether the file's dates are nanoseconds, decided at the first date written.
    std::optional<bool> nanosecondDates;
    QString dbPath;
    bool upgradeSchema;
    // Set for a read-only source, from the first open on.
    bool readOnly = false;
    std::unique_ptr<ReadOnlyDatabaseSource> source;
};
