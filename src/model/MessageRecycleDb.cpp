#include "model/MessageRecycleDb.h"

#include "model/MsgIdentity.h"

#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace {

// IF NOT EXISTS lets the same script complete a file whose creation was cut short;
// SQLite keeps the statements without those words in the schema.
constexpr char schemaScript[] =
    "CREATE TABLE IF NOT EXISTS message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, "
    "text TEXT, replace INTEGER DEFAULT 0, service_center TEXT, handle_id INTEGER DEFAULT 0, subject TEXT, "
    "country TEXT, attributedBody BLOB, version INTEGER DEFAULT 0, type INTEGER DEFAULT 0, service TEXT, "
    "account TEXT, account_guid TEXT, error INTEGER DEFAULT 0, date INTEGER, date_read INTEGER, "
    "date_delivered INTEGER, is_delivered INTEGER DEFAULT 0, is_finished INTEGER DEFAULT 0, "
    "is_emote INTEGER DEFAULT 0, is_from_me INTEGER DEFAULT 0, is_empty INTEGER DEFAULT 0, "
    "is_delayed INTEGER DEFAULT 0, is_auto_reply INTEGER DEFAULT 0, is_prepared INTEGER DEFAULT 0, "
    "is_read INTEGER DEFAULT 0, is_system_message INTEGER DEFAULT 0, is_sent INTEGER DEFAULT 0, "
    "has_dd_results INTEGER DEFAULT 0, is_service_message INTEGER DEFAULT 0, is_forward INTEGER DEFAULT 0, "
    "was_downgraded INTEGER DEFAULT 0, is_archive INTEGER DEFAULT 0, cache_has_attachments INTEGER DEFAULT 0, "
    "cache_roomnames TEXT, was_data_detected INTEGER DEFAULT 0, was_deduplicated INTEGER DEFAULT 0, "
    "chat_identifier TEXT, handle TEXT, src_rowid INTEGER, is_skip INTEGER NOT NULL DEFAULT 0);"
    "CREATE INDEX IF NOT EXISTS message_idx_chat_identifier on message(is_skip, chat_identifier, date);"
    "CREATE INDEX IF NOT EXISTS message_idx_chat_date on message(date);"
    "CREATE INDEX IF NOT EXISTS message_idx_handle_id on message(handle_id);"
    "CREATE INDEX IF NOT EXISTS message_idx_src_rowid on message(src_rowid);"
    "CREATE TABLE IF NOT EXISTS chat (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, "
    "style INTEGER, state INTEGER, account_id TEXT, properties BLOB, chat_identifier TEXT, service_name TEXT, "
    "room_name TEXT, account_login TEXT, is_archived INTEGER DEFAULT 0, last_addressed_handle TEXT, "
    "display_name TEXT, src_rowid INTEGER);"
    "CREATE INDEX IF NOT EXISTS chat_idx_identifier ON chat(chat_identifier);"
    "CREATE INDEX IF NOT EXISTS chat_idx_src_rowid ON chat(src_rowid);"
    "CREATE TABLE IF NOT EXISTS handle (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, id TEXT NOT NULL, "
    "country TEXT, service TEXT NOT NULL, uncanonicalized_id TEXT, src_rowid INTEGER, UNIQUE (id, service));"
    "CREATE INDEX IF NOT EXISTS handle_idx_src_rowid ON handle(src_rowid);";

// The message flags from is_delivered to is_archive, in the table's column order.
const std::pair<const char*, qint32 _MsgMessage::*> messageFlags[] = {
    {"is_delivered", &_MsgMessage::is_delivered},
    {"is_finished", &_MsgMessage::is_finished},
    {"is_emote", &_MsgMessage::is_emote},
    {"is_from_me", &_MsgMessage::is_from_me},
    {"is_empty", &_MsgMessage::is_empty},
    {"is_delayed", &_MsgMessage::is_delayed},
    {"is_auto_reply", &_MsgMessage::is_auto_reply},
    {"is_prepared", &_MsgMessage::is_prepared},
    {"is_read", &_MsgMessage::is_read},
    {"is_system_message", &_MsgMessage::is_system_message},
    {"is_sent", &_MsgMessage::is_sent},
    {"has_dd_results", &_MsgMessage::has_dd_results},
    {"is_service_message", &_MsgMessage::is_service_message},
    {"is_forward", &_MsgMessage::is_forward},
    {"was_downgraded", &_MsgMessage::was_downgraded},
    {"is_archive", &_MsgMessage::is_archive},
};

bool isGuid(const QString& text)
{
    static const QRegularExpression guid(QRegularExpression::anchoredPattern(
        QStringLiteral(R"([a-zA-Z0-9]{8}\-[a-zA-Z0-9]{4}\-[a-zA-Z0-9]{4}\-[a-zA-Z0-9]{4}\-[a-zA-Z0-9]{12})")));
    return guid.match(text).hasMatch();
}

bool isIMessage(const QString& service)
{
    return service.compare(QLatin1String("iMessage"), Qt::CaseInsensitive) == 0;
}

void insertIfNotEmpty(Sqlite3Row& row, const QString& column, const QString& value)
{
    if (!value.isEmpty())
        row.insert(column, value);
}

constexpr qint64 lowestKey = std::numeric_limits<qint64>::min();

// base minus the handle id, held inside [low, high]: carved handle ids may be any value.
qint64 chatKey(qint64 base, qint64 handleId, qint64 low, qint64 high)
{
    qint64 key = 0;
    if (__builtin_sub_overflow(base, handleId, &key))
        key = handleId > 0 ? low : high;
    return std::clamp(key, low, high);
}

qint64 knownChatKey(qint64 handleId)
{
    return chatKey(recycledChatRowidBase, handleId, unknownChatRowidBase + 1, -1);
}

qint64 unknownChatKey(qint64 handleId)
{
    return chatKey(unknownChatRowidBase, handleId, lowestKey, unknownChatRowidBase);
}

// The key itself or the next one below it that neither a chat nor a handle of the set
// holds. Two chat identifiers whose first messages share a handle id ask for the same
// key; replacing the first chat would orphan it while its messages still point at it.
// A known chat's key stays above the unknown range.
qint64 freeChatKey(const _MsgSet& set, qint64 key)
{
    const qint64 floor = key > unknownChatRowidBase ? unknownChatRowidBase + 1 : lowestKey;
    while (set.chats.contains(key) || set.handles.contains(key)) {
        if (key == floor)
            throw std::runtime_error("no free row id for a chat of deleted messages");
        --key;
    }
    return key;
}

// A chat with its one handle, both stored in the set under the first free key from key down.
_MsgChat* addChat(const MsgSetPtr& set, qint64 key, const QString& identifier, const QString& service)
{
    key = freeChatKey(*set.data(), key);
    auto* chat = new _MsgChat;
    set.data()->chats.insert(key, chat);
    chat->rowid = key;
    chat->lastDate = 0;
    chat->style = 45;
    chat->state = 3;
    chat->guid = service + QStringLiteral(";-;") + identifier;
    chat->chat_identifier = identifier;
    chat->service_name = service;

    auto* handle = new _MsgHandle;
    set.data()->handles.insert(key, handle);
    handle->rowid = key;
    handle->service = service;
    handle->id = identifier;
    chat->handles.insert(identifier, handle);
    return chat;
}

_MsgChat* addIMessageChat(const MsgSetPtr& set, qint64 key, const QString& identifier, const _MsgMessage& message)
{
    _MsgChat* chat = addChat(set, key, identifier, QStringLiteral("iMessage"));
    chat->account_id = isGuid(message.account_guid) ? message.account_guid : guidFromBytes(identifier.toUtf8());
    chat->account_login = message.account;
    return chat;
}

// The handle a deleted message is shown with: in an "unknown" chat its one handle;
// otherwise the chat's only handle, or in a group the one stored under the sender's id.
_MsgHandle* senderHandle(const _MsgChat& chat, bool unknownChat, const QString& senderId)
{
    if (unknownChat || chat.handles.size() == 1)
        return chat.handles.isEmpty() ? nullptr : *chat.handles.cbegin();
    return chat.handles.value(senderId, nullptr);
}

// A stored handle, its row id taken from rowidColumn.
_MsgHandle readHandle(const Sqlite3Cursor& cursor, const QString& rowidColumn)
{
    _MsgHandle handle;
    handle.rowid = cursor.getInt64(rowidColumn);
    handle.id = cursor.getText("id");
    handle.service = cursor.getText("service");
    handle.uncanonicalized_id = cursor.getText("uncanonicalized_id");
    return handle;
}

} // namespace

MessageRecycleDb::MessageRecycleDb(const QString& path) : m_path(path) {}

void MessageRecycleDb::initDb()
{
    if (isOpen())
        return;
    const bool exists = QFileInfo::exists(m_path);
    openThrow(m_path, exists ? ReadWrite : ReadWriteCreate);
    if (exists && !tbInfo(QStringLiteral("message")).isEmpty() && !tbInfo(QStringLiteral("chat")).isEmpty()
        && !tbInfo(QStringLiteral("handle")).isEmpty())
        return;

    try {
        beginTran();
        QString error;
        if (exec(QString::fromLatin1(schemaScript), error) != 0)
            throw std::runtime_error(QStringLiteral("create MessageRecycleDb error. %1").arg(error).toStdString());
        commitTran();
    } catch (...) {
        // Closed, the next call tries again instead of working on a file without tables.
        close();
        throw;
    }
}

qint64 MessageRecycleDb::insertHandle(const _MsgHandle& handle, qint64 srcRowid)
{
    Sqlite3Row row;
    row.insert(QStringLiteral("id"), handle.id);
    row.insert(QStringLiteral("country"), handle.country);
    row.insert(QStringLiteral("service"), handle.service);
    row.insert(QStringLiteral("uncanonicalized_id"), handle.uncanonicalized_id);
    if (srcRowid > 0)
        row.insert(QStringLiteral("src_rowid"), qlonglong(srcRowid));
    return insertRow(row, QStringLiteral("handle"));
}

qint64 MessageRecycleDb::insertMessage(const _MsgMessage& message, const QString& chatIdentifier,
                                       const QString& handle, qint64 srcRowid)
{
    Sqlite3Row row;
    row.insert(QStringLiteral("guid"), isGuid(message.guid) ? message.guid : newMessageGuid());
    row.insert(QStringLiteral("text"), message.text);
    row.insert(QStringLiteral("replace"), message.replace);
    insertIfNotEmpty(row, QStringLiteral("service_center"), message.service_center);
    row.insert(QStringLiteral("handle_id"), qlonglong(message.handle_id));
    insertIfNotEmpty(row, QStringLiteral("subject"), message.subject);
    insertIfNotEmpty(row, QStringLiteral("country"), message.country);
    if (!message.attributedBody.isEmpty())
        row.insert(QStringLiteral("attributedBody"), message.attributedBody);
    row.insert(QStringLiteral("version"), message.version);
    row.insert(QStringLiteral("type"), message.type);
    row.insert(QStringLiteral("service"), message.service);
    row.insert(QStringLiteral("account"), message.account);
    row.insert(QStringLiteral("account_guid"), message.account_guid);
    row.insert(QStringLiteral("error"), message.error);
    row.insert(QStringLiteral("date"), message.date);
    row.insert(QStringLiteral("date_read"), message.date_read);
    row.insert(QStringLiteral("date_delivered"), message.date_delivered);
    for (const auto& [column, flag] : messageFlags)
        row.insert(QLatin1String(column), message.*flag);
    // Whether attachments came along, not what the source row claimed.
    row.insert(QStringLiteral("cache_has_attachments"), message.attachments.isEmpty() ? 0 : 1);
    row.insert(QStringLiteral("cache_roomnames"), message.cache_roomnames);
    row.insert(QStringLiteral("was_data_detected"), message.was_data_detected);
    row.insert(QStringLiteral("was_deduplicated"), message.was_deduplicated);
    row.insert(QStringLiteral("chat_identifier"), chatIdentifier);
    row.insert(QStringLiteral("handle"), handle);
    if (srcRowid > 0)
        row.insert(QStringLiteral("src_rowid"), qlonglong(srcRowid));
    return insertRow(row, QStringLiteral("message"));
}

qint64 MessageRecycleDb::findHandle(const _MsgHandle& handle)
{
    initDb();
    Sqlite3Sql query("select rowid from handle where id=? and service=?");
    query.addTextParam(handle.id).addTextParam(handle.service);
    Sqlite3Cursor cursor = queryThrow(query);
    return cursor.moveNext() ? cursor.getInt64("rowid") : 0;
}

qint64 MessageRecycleDb::findMessage(const _MsgMessage& message)
{
    initDb();
    Sqlite3Sql query("select rowid from message where guid=? or (date=? and is_from_me=? and text=?)");
    query.addTextParam(message.guid)
        .addInt64Param(message.date)
        .addInt64Param(message.is_from_me)
        .addTextParam(message.text);
    Sqlite3Cursor cursor = queryThrow(query);
    return cursor.moveNext() ? cursor.getInt64("rowid") : 0;
}

void MessageRecycleDb::settleDelivery(qint64 rowid, qint32 dateDelivered, int isFromMe)
{
    initDb();
    executeThrow(Sqlite3Sql("update message set date_delivered=?, is_from_me=? where rowid=? and date_delivered<=0")
                     .addInt64Param(dateDelivered)
                     .addInt64Param(isFromMe)
                     .addInt64Param(rowid));
}

void MessageRecycleDb::setMessageChat(const _MsgMessage& message, const QString& chatIdentifier,
                                      const QString& handle)
{
    const qint64 rowid = findMessage(message);
    if (rowid == 0)
        return;
    Sqlite3Sql update("update message set chat_identifier=?, handle=? where rowid=?");
    update.addTextParam(chatIdentifier).addTextParam(handle).addInt64Param(rowid);
    executeThrow(update);
}

_MsgHandle MessageRecycleDb::handleBySrcRowid(qint64 srcRowid)
{
    initDb();
    _MsgHandle handle;
    Sqlite3Sql query("select * from handle where src_rowid=?");
    query.addInt64Param(srcRowid);
    Sqlite3Cursor cursor = queryThrow(query);
    if (cursor.moveNext())
        handle = readHandle(cursor, QStringLiteral("src_rowid"));
    return handle;
}

QList<_RecycledMessage> MessageRecycleDb::loadMessages()
{
    initDb();
    QList<_RecycledMessage> messages;
    Sqlite3Cursor cursor = queryThrow("select * from message where is_skip=0");
    while (cursor.moveNext()) {
        _RecycledMessage m;
        m.rowid = recycledMessageRowidBase - cursor.getInt64("rowid");
        m.guid = cursor.getText("guid");
        m.text = cursor.getText("text");
        m.replace = cursor.getInt("replace");
        m.service_center = cursor.getText("service_center");
        m.handle_id = cursor.getInt64("handle_id");
        m.subject = cursor.getText("subject");
        m.country = cursor.getText("country");
        m.attributedBody = cursor.getBlob("attributedBody");
        m.version = cursor.getInt("version");
        m.type = cursor.getInt("type");
        m.service = cursor.getText("service");
        m.account = cursor.getText("account");
        m.account_guid = cursor.getText("account_guid");
        m.error = cursor.getInt("error");
        m.date = cursor.getInt("date");
        m.date_read = cursor.getInt("date_read");
        m.date_delivered = cursor.getInt("date_delivered");
        for (const auto& [column, flag] : messageFlags)
            m.*flag = cursor.getInt(QLatin1String(column));
        m.cache_has_attachments = cursor.getInt("cache_has_attachments");
        m.cache_roomnames = cursor.getText("cache_roomnames");
        m.was_data_detected = cursor.getInt("was_data_detected");
        m.was_deduplicated = cursor.getInt("was_deduplicated");
        m.deleted = true;
        m.chat_identifier = cursor.getText("chat_identifier");
        m.handle = cursor.getText("handle");
        messages.append(m);
    }
    return messages;
}

QList<_MsgHandle> MessageRecycleDb::loadHandles()
{
    initDb();
    QList<_MsgHandle> handles;
    Sqlite3Cursor cursor = queryThrow("select * from handle");
    while (cursor.moveNext())
        handles.append(readHandle(cursor, QStringLiteral("rowid")));
    return handles;
}

void MessageRecycleDb::buildChats(const MsgSetPtr& set, const QList<_RecycledMessage>& messages)
{
    QHash<QString, _MsgChat*> iMessageChats;
    QHash<QString, _MsgChat*> smsChats;
    for (_MsgChat* chat : set.chats()) {
        if (chat)
            (isIMessage(chat->service_name) ? iMessageChats : smsChats).insert(chat->chat_identifier, chat);
    }

    _MsgSet& records = *set.data();
    for (const _RecycledMessage& r : messages) {
        if (records.messages.contains(r.rowid))
            continue;
        auto* m = new _MsgMessage(r);
        records.messages.insert(r.rowid, m);
        m->seq = -r.rowid;

        QString identifier = r.chat_identifier;
        const bool unknownChat = identifier.isEmpty();
        _MsgChat* chat = nullptr;
        if (unknownChat) {
            identifier = QStringLiteral("unknown%1").arg(m->handle_id);
            chat = smsChats.value(identifier, nullptr);
            if (!chat)
                chat = smsChats[identifier] = addSmsChat(set, unknownChatKey(m->handle_id), identifier);
        } else if (isIMessage(m->service)) {
            chat = iMessageChats.value(identifier, nullptr);
            if (!chat)
                chat = iMessageChats[identifier] = addIMessageChat(set, knownChatKey(m->handle_id), identifier, *m);
        } else {
            chat = smsChats.value(identifier, nullptr);
            if (!chat)
                chat = smsChats[identifier] = addSmsChat(set, knownChatKey(m->handle_id), identifier);
        }

        m->chat = chat;
        chat->lastDate = std::max(chat->lastDate, m->date);
        m->handle = senderHandle(*chat, unknownChat, r.handle);
        chat->messages.insert(m->guid, m);
    }
}

_MsgChat* MessageRecycleDb::addSmsChat(const MsgSetPtr& set, qint64 key, const QString& identifier)
{
    _MsgChat* chat = addChat(set, key, identifier, QStringLiteral("SMS"));
    chat->account_login = QStringLiteral("E:");
    return chat;
}
