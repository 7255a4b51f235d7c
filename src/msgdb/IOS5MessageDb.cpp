#include "msgdb/IOS5MessageDb.h"

#include "model/AppleTime.h"
#include "model/MsgIdentity.h"
#include "model/MsgSetPtr.h"
#include "model/PlistValue.h"
#include "msgdb/CachedMessageDb.h"
#include "msgdb/MessageRowDates.h"
#include "msgdb/MsgDbLog.h"
#include "msgdb/ReadOnlyDatabaseSource.h"

#include <QtDebug>

#include <sqlite3.h>

#include <memory>

namespace {

constexpr qint64 unixTo2001 = 978307200;

// The phone's triggers call read(flags); without it no row of the file can be written.
void readFunction(sqlite3_context* context, int, sqlite3_value** args)
{
    sqlite3_result_int(context, sqlite3_value_int(args[0]) != 0 ? 1 : 0);
}

void registerReadFunction(sqlite3* db)
{
    const int rc = sqlite3_create_function_v2(db, "read", 1, SQLITE_ANY, nullptr, readFunction, nullptr, nullptr,
                                              nullptr);
    if (rc != SQLITE_OK)
        qCWarning(lcMsgDb, "IOS5MessageDb: cannot register the SQL function read: %s", sqlite3_errmsg(db));
}

// The flags every message of this schema is read with.
void setCommonFields(_MsgMessage& message, const Sqlite3Cursor& row)
{
    message.rowid = row.getInt64("rowid");
    message.seq = message.rowid;
    message.text = row.getText("text");
    message.service_center = row.getText("svc_center");
    message.subject = row.getText("subject");
    message.country = row.getText("country");
    message.is_finished = 1;
    message.is_prepared = 1;
    message.is_read = 1;
    message.is_sent = 1;
    message.was_data_detected = 1;
}

// SMS rows keep their date in Unix seconds.
void setSmsFields(_MsgMessage& message, const Sqlite3Cursor& row, MessageRowDates& dates)
{
    message.guid = newMessageGuid();
    message.service = QStringLiteral("SMS");
    message.account = QStringLiteral("e:");
    message.date = dates.take(row.getInt64("date") - unixTo2001);
    message.date_read = message.date;
    message.date_delivered = message.date;
    message.is_from_me = row.getInt("flags") == 3 ? 1 : 0;
}

// iMessage rows keep their dates in seconds since 2001, as the records do.
void setIMessageFields(_MsgMessage& message, const Sqlite3Cursor& row, MessageRowDates& dates)
{
    message.guid = row.getText("madrid_guid");
    message.service = QStringLiteral("iMessage");
    message.account = row.getText("madrid_account");
    message.account_guid = row.getText("madrid_account_guid");
    message.error = row.getInt("madrid_error");
    message.date = dates.take(row.getInt64("date"));
    message.date_read = dates.take(row.getInt64("madrid_date_read"));
    message.date_delivered = dates.take(row.getInt64("madrid_date_delivered"));
    message.is_from_me = message.date_delivered > 0 ? 1 : 0;
}

bool isIMessageChat(const _MsgChat& chat)
{
    return chat.service_name.compare(QLatin1String("iMessage"), Qt::CaseInsensitive) == 0;
}

} // namespace

IOS5MessageDb::IOS5MessageDb(const QDir& folder, const QString& mcc)
    : fileRelayDir(folder.absoluteFilePath(QStringLiteral("file-relay")))
    , contacts(folder, mcc)
    , recycle(folder.absoluteFilePath(QStringLiteral("recycle.db")))
    , country(mcc)
    , dbPath(fileRelayDir.absoluteFilePath(cachedSmsDbBelowFileRelay))
{
}

IOS5MessageDb::~IOS5MessageDb()
{
    // Before the private copy the connection may be reading goes.
    close();
}

void IOS5MessageDb::initDb()
{
    if (handle())
        return;
    source = std::make_unique<ReadOnlyDatabaseSource>(dbPath);
    source->open(*this);
    registerReadFunction(handle());
    // SQLite reads the file only now. Left open without its table list, the connection
    // would have every later read take the file for one without iMessage chats; closed,
    // the next operation tries again.
    try {
        Sqlite3Cursor tables = queryThrow("select * from sqlite_master where type='table'");
        while (tables.moveNext())
            tableSql.insert(tables.getText("name"), tables.getText("sql"));
    } catch (...) {
        close();
        throw;
    }
}

void IOS5MessageDb::chats(MsgSetPtr& set)
{
    initDb();
    contacts.initDb();
    // Without an address book below the folder the contact cache stays closed.
    const bool addressBookOpen = contacts.handle() != nullptr;

    readSmsChats(set);
    readGroupMembers(set, addressBookOpen);
    if (!tableSql.contains(QStringLiteral("madrid_chat")))
        return;
    readMadridLastDates(readMadridChats(set, addressBookOpen));
}

void IOS5MessageDb::readSmsChats(MsgSetPtr& set)
{
    _MsgSet* data = set.data();
    // A group whose newest message is gone drops out of the join and gets no chat.
    Sqlite3Cursor row = queryThrow("select g.*,m.date-978307200 as last_date from msg_group as g"
                                   " inner join message as m on g.newest_message=m.rowid");
    while (row.moveNext()) {
        const qint64 rowid = row.getInt64("rowid");
        if (data->chats.contains(rowid))
            continue;
        auto* chat = new _MsgChat;
        data->chats.insert(rowid, chat);
        chat->rowid = rowid;
        // Orders the chat list, and is never stored.
        chat->lastDate = appleSecondsForOrdering(row.getInt64("last_date"));
        chat->guid = QStringLiteral("SMS;-;") + QString::number(row.getInt("hash"));
        chat->chat_identifier = QStringLiteral("unknown");
    }
}

// A conversation takes its identity from its first member, and becomes a group chat,
// with an identifier derived from its one-member guid, when a second member joins.
void IOS5MessageDb::readGroupMembers(MsgSetPtr& set, bool addressBookOpen)
{
    _MsgSet* data = set.data();
    Sqlite3Cursor row = queryThrow("select * from group_member");
    while (row.moveNext()) {
        _MsgChat* chat = data->chats.value(row.getInt64("group_id"));
        if (!chat)
            continue;
        const qint64 rowid = row.getInt64("rowid");
        _MsgHandle* handle = data->handles.value(rowid);
        if (!handle) {
            handle = new _MsgHandle;
            data->handles.insert(rowid, handle);
            handle->rowid = rowid;
            handle->country = row.getText("country");
            handle->service = QStringLiteral("SMS");
            handle->id = country.countryBySn(handle->country).canonicalizePhoneNumber(row.getText("address"));
            nameFromAddressBook(*handle, addressBookOpen);
        }
        if (chat->handles.contains(handle->id))
            continue;
        if (chat->handles.isEmpty()) {
            chat->chat_identifier = handle->id;
            chat->guid = QStringLiteral("SMS;-;") + handle->id;
            chat->style = 45;
        } else if (chat->handles.size() == 1) {
            chat->chat_identifier = makeChatIdentifier(chat->guid);
            chat->guid = QStringLiteral("SMS;+;") + chat->chat_identifier;
            chat->room_name = chat->chat_identifier;
            chat->style = 43;
            chat->account_id = guidFromBytes(chat->guid.toUtf8());
        }
        chat->handles.insert(handle->id, handle);
    }
}

QHash<QString, _MsgChat*> IOS5MessageDb::readMadridChats(MsgSetPtr& set, bool addressBookOpen)
{
    _MsgSet* data = set.data();
    const _CountryInfo home = country.defaultCountry();
    QHash<QString, _MsgChat*> chatsByIdentifier;
    Sqlite3Cursor row = queryThrow("select * from madrid_chat");
    while (row.moveNext()) {
        const qint64 key = -row.getInt64("rowid");
        if (data->chats.contains(key))
            continue;
        // Binary or XML; anything but an array means no participants.
        const PlistValue participants = PlistValue::fromData(row.getBlob("participants"), true);
        const int count = participants.arraySize();

        auto* chat = new _MsgChat;
        data->chats.insert(key, chat);
        chat->rowid = key;
        chat->lastDate = 0;
        chat->chat_identifier = home.canonicalizePhoneNumber(row.getText("chat_identifier"));
        chat->guid = (count > 1 ? QStringLiteral("iMessage;+;") : QStringLiteral("iMessage;-;")) + chat->chat_identifier;
        chat->style = row.getInt("style");
        chat->state = row.getInt("state");
        chat->account_id = row.getText("account_id");
        chat->service_name = QStringLiteral("iMessage");
        chat->account_login = row.getText("account_login");
        chatsByIdentifier.insert(chat->chat_identifier, chat);

        for (int i = 0; i < count; ++i) {
            auto* handle = new _MsgHandle;
            handle->rowid = -(qint64(data->handles.size()) + 1);
            data->handles.insert(handle->rowid, handle);
            handle->service = QStringLiteral("iMessage");
            handle->id = home.canonicalizePhoneNumber(participants.arrayItem(i).toString());
            nameFromAddressBook(*handle, addressBookOpen);
            chat->handles.insert(handle->id, handle);
        }
    }
    return chatsByIdentifier;
}

// The dates stay as stored: iMessage rows already count from 2001. The handle pass
// runs last and wins where both match.
void IOS5MessageDb::readMadridLastDates(const QHash<QString, _MsgChat*>& chatsByIdentifier)
{
    static const struct
    {
        const char* column;
        const char* sql;
    } passes[] = {
        {"madrid_roomname", "select madrid_roomname,max(date) as last_date from message group by madrid_roomname"
                            " having madrid_roomname is not null and madrid_roomname <> ''"},
        {"madrid_handle", "select madrid_handle,max(date) as last_date from message group by madrid_handle"
                          " having madrid_handle is not null and madrid_handle <> ''"},
    };
    for (const auto& pass : passes) {
        Sqlite3Cursor row = queryThrow(pass.sql);
        while (row.moveNext()) {
            if (_MsgChat* chat = chatsByIdentifier.value(row.getText(QLatin1String(pass.column))))
                chat->lastDate = appleSecondsForOrdering(row.getInt64("last_date"));
        }
    }
}

void IOS5MessageDb::messages(MsgSetPtr& set, qint64 chatKey)
{
    initDb();
    chats(set);
    _MsgSet* data = set.data();

    // An SMS conversation and an iMessage chat with the same correspondent share an
    // identifier; iMessage rows belong to the iMessage chat, so it is looked up first.
    QHash<QString, _MsgChat*> iMessageChats;
    QHash<QString, _MsgChat*> otherChats;
    for (_MsgChat* chat : set.chats())
        (isIMessageChat(*chat) ? iMessageChats : otherChats).insert(chat->chat_identifier, chat);

    Sqlite3Sql sql("select m.* from message as m");
    if (chatKey > 0) {
        sql.appendSql(" where m.group_id=?");
        sql.addInt64Param(chatKey);
    } else if (chatKey < 0) {
        sql.appendSql(" inner join madrid_chat as c on (m.madrid_roomname=c.chat_identifier"
                      " or m.madrid_handle=c.chat_identifier) and c.rowid=?");
        sql.addInt64Param(-chatKey);
    }
    const _CountryInfo home = country.defaultCountry();
    Sqlite3Cursor row = queryThrow(sql);
    while (row.moveNext()) {
        const qint64 rowid = row.getInt64("rowid");
        if (data->messages.contains(rowid) || data->undatableMessages.contains(rowid))
            continue;
        auto read = std::make_unique<_MsgMessage>();
        setCommonFields(*read, row);

        MessageRowDates dates;
        _MsgChat* chat = nullptr;
        if (row.getInt("is_madrid") != 0) {
            setIMessageFields(*read, row, dates);
            const QString roomname = row.getText("madrid_roomname");
            const QString identifier =
                roomname.isEmpty() ? home.canonicalizePhoneNumber(row.getText("madrid_handle")) : roomname;
            chat = iMessageChats.value(identifier, otherChats.value(identifier));
        } else {
            setSmsFields(*read, row, dates);
            chat = data->chats.value(row.getInt("group_id"));
        }
        if (!dates.keepIn(*data, rowid, "IOS5MessageDb"))
            continue;
        _MsgMessage* message = read.release();
        data->messages.insert(rowid, message);
        if (!chat)
            continue;
        message->chat = chat;
        chat->messages.insert(QString::number(rowid), message);
        message->handle = senderHandle(*chat, *message, row);
    }
}

// One handle is the correspondent of every message, sent ones too; in a group a
// message from me has none and any other message the member it came from.
_MsgHandle* IOS5MessageDb::senderHandle(const _MsgChat& chat, const _MsgMessage& message, const Sqlite3Cursor& row)
{
    if (chat.handles.size() == 1)
        return chat.handles.cbegin().value();
    if (chat.handles.isEmpty() || message.is_from_me)
        return nullptr;
    const QString peer = message.service == QLatin1String("iMessage")
        ? country.defaultCountry().canonicalizePhoneNumber(row.getText("madrid_handle"))
        : country.countryBySn(row.getText("country")).canonicalizePhoneNumber(row.getText("address"));
    return chat.handles.value(peer);
}

void IOS5MessageDb::nameFromAddressBook(_MsgHandle& handle, bool addressBookOpen)
{
    if (!addressBookOpen)
        return;
    try {
        const _ContactPerson person = contacts.findContactByNumber(handle.id);
        handle._ct_name = person.displayName();
        handle._photo = person.photo;
    } catch (const std::exception& e) {
        qCWarning(
            lcMsgDb, "%s",
            qUtf8Printable(
                QStringLiteral("IOS5MessageDb::chats, IOSContactsMemDb error. %1").arg(QString::fromUtf8(e.what()))));
    }
}

void IOS5MessageDb::loadRecycledMessages(MsgSetPtr& set)
{
    initDb();
    MessageRecycleDb::buildChats(set, recycle.loadMessages());
}

QList<_SqliteCol> IOS5MessageDb::messageColumns()
{
    initDb();
    return tbInfo(QStringLiteral("message")).columns();
}

QHash<qint64, QString> IOS5MessageDb::smsChatIdentifiers()
{
    initDb();
    // Recovery reads files the reader cannot show, and needs no members to do its work.
    if (!tableSql.contains(QStringLiteral("group_member")))
        return {};
    MsgSetPtr set;
    Sqlite3Cursor row = queryThrow("select distinct group_id from group_member");
    while (row.moveNext()) {
        auto* chat = new _MsgChat;
        chat->rowid = row.getInt64(0);
        set.data()->chats.insert(chat->rowid, chat);
    }
    readGroupMembers(set, false);
    QHash<qint64, QString> identifiers;
    for (const _MsgChat* chat : set.chats()) {
        if (!chat->handles.isEmpty())
            identifiers.insert(chat->rowid, chat->chat_identifier);
    }
    return identifiers;
}

qint64 IOS5MessageDb::messageCount()
{
    initDb();
    Sqlite3Cursor row = queryThrow("select count(*) from message");
    return row.moveNext() ? row.getInt64(0) : 0;
}
