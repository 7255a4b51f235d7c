#pragma once

#include "msgdb/AbsIOSMessageDb.h"

#include "model/CountryLibDb.h"
#include "model/IOSContactsMemDb.h"
#include "model/MessageRecycleDb.h"

#include <QDir>
#include <QHash>
#include <QString>

#include <memory>

struct _MsgChat;
struct _MsgHandle;
struct _MsgMessage;
class ReadOnlyDatabaseSource;
class Sqlite3Cursor;

// Reader of an iPhone sms.db of the iOS 5 schema: SMS conversations in msg_group and
// group_member, iMessage chats in madrid_chat, both kinds of message in `message`.
// It builds the same records as the iOS 6 reader, and neither the file nor its side files
// ever change: it reads them in place or through a private copy (ReadOnlyDatabaseSource).
// Chat keys: an SMS conversation is its msg_group row id, an iMessage chat minus its
// madrid_chat row id.
class IOS5MessageDb : public AbsIOSMessageDb
{
public:
    // folder holds "file-relay/var/mobile/Library/SMS/sms.db" and receives ct-phone.db and
    // recycle.db; mcc is the device's mobile country code, empty when it gave none.
    IOS5MessageDb(const QDir& folder, const QString& mcc);
    ~IOS5MessageDb() override;

    // Opens the existing file for reading; the file must exist.
    void initDb() override;
    void chats(MsgSetPtr& set) override;
    // chatKey: 0 for every message, else a chat key as above.
    void messages(MsgSetPtr& set, qint64 chatKey) override;
    int iosVersion() override { return 5; }

    QString databasePath() const override { return dbPath; }
    // Reads the sms.db at path instead of the one below the folder; takes effect only
    // before the file is first opened.
    void setDbPath(const QString& path) { dbPath = path; }
    MessageRecycleDb* recycleDb() { return &recycle; }
    // The message table's columns as the file declares them, in table order.
    QList<_SqliteCol> messageColumns();
    // Puts the deleted messages kept in the recycle store into the set's chats.
    void loadRecycledMessages(MsgSetPtr& set);
    // SMS and iMessage rows alike.
    qint64 messageCount();
    // The chat identifier each SMS conversation takes from its members, as chats() gives
    // it, by msg_group row id; a conversation without members has none. Unlike chats(),
    // a conversation whose newest message is gone keeps its identifier.
    QHash<qint64, QString> smsChatIdentifiers();

private:
    void readSmsChats(MsgSetPtr& set);
    void readGroupMembers(MsgSetPtr& set, bool addressBookOpen);
    // Returns the iMessage chats by chat_identifier, a later row replacing an earlier one.
    QHash<QString, _MsgChat*> readMadridChats(MsgSetPtr& set, bool addressBookOpen);
    void readMadridLastDates(const QHash<QString, _MsgChat*>& chatsByIdentifier);
    void nameFromAddressBook(_MsgHandle& handle, bool addressBookOpen);
    _MsgHandle* senderHandle(const _MsgChat& chat, const _MsgMessage& message, const Sqlite3Cursor& row);

    QDir fileRelayDir;
    IOSContactsMemDb contacts;
    MessageRecycleDb recycle;
    CountryLibDb country;
    // Table name -> its CREATE statement, filled at open.
    QHash<QString, QString> tableSql;
    QString dbPath;
    std::unique_ptr<ReadOnlyDatabaseSource> source;
};
