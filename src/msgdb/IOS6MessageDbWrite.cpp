// The write side of IOS6MessageDb: single rows in, lookups, and deleting one message.
// Optional columns are written only where the file's cached CREATE text has them.
#include "msgdb/IOS6MessageDb.h"

#include "msgdb/InsertValues.h"

#include "model/MsgChat.h"
#include "model/MsgHandle.h"
#include "model/MsgIdentity.h"

#include <stdexcept>

namespace {

const QString messageTable = QStringLiteral("message");
const QString handleTable = QStringLiteral("handle");
const QString chatTable = QStringLiteral("chat");
const QString attachmentTable = QStringLiteral("attachment");

} // namespace

qint64 IOS6MessageDb::insertHandle(const _MsgHandle& handle)
{
    initDb();
    InsertValues row;
    row.add("id", handle.id);
    row.addOrDefault("country", handle.country);
    row.add("service", handle.service);
    row.addOrDefault("uncanonicalized_id", handle.uncanonicalized_id);
    if (tableHas(handleTable, "_ct_name TEXT", Qt::CaseInsensitive))
        row.add("_ct_name", handle._ct_name);
    if (tableHas(handleTable, "_photo BLOB", Qt::CaseInsensitive))
        row.addBlob("_photo", handle._photo);
    return insertValues(handleTable, row);
}

qint64 IOS6MessageDb::insertMessage(const _MsgMessage& m, qint64 handleRowId, qint64 otherHandleRowId,
                                    const QString& fingerprint)
{
    initDb();
    auto has = [this](const char* column) { return tableHas(messageTable, QLatin1String(column)); };
    InsertValues row;
    row.add("guid", m.guid);
    row.add("text", m.text);
    row.add("replace", m.replace);
    row.addOrDefault("service_center", m.service_center);
    row.add("handle_id", handleRowId);
    row.addOrDefault("subject", m.subject);
    row.addOrDefault("country", m.country);
    row.addBlobOrDefault("attributedBody", m.attributedBody);
    row.add("version", m.version);
    row.add("type", m.type);
    row.add("service", m.service);
    row.add("account", m.account);
    row.add("account_guid", m.account_guid);
    row.add("error", m.error);
    row.add("date", storedDate(m.date));
    row.add("date_read", storedDate(m.date_read));
    row.add("date_delivered", storedDate(m.date_delivered));
    row.add("is_delivered", m.is_delivered);
    row.add("is_finished", m.is_finished);
    row.add("is_emote", m.is_emote);
    row.add("is_from_me", m.is_from_me);
    row.add("is_empty", m.is_empty);
    row.add("is_delayed", m.is_delayed);
    row.add("is_auto_reply", m.is_auto_reply);
    row.add("is_prepared", m.is_prepared);
    row.add("is_read", m.is_read);
    row.add("is_system_message", m.is_system_message);
    row.add("is_sent", m.is_sent);
    row.add("has_dd_results", m.has_dd_results);
    row.add("is_service_message", m.is_service_message);
    row.add("is_forward", m.is_forward);
    row.add("was_downgraded", m.was_downgraded);
    row.add("is_archive", m.is_archive);
    // The writers join every attachment of the message after its row, and only those: the
    // readers load none, so the record's own flag may claim files the row never gets.
    row.add("cache_has_attachments", m.attachments.isEmpty() ? 0 : 1);
    row.add("cache_roomnames", m.cache_roomnames);
    row.add("was_data_detected", m.was_data_detected);
    row.add("was_deduplicated", m.was_deduplicated);
    if (has("is_audio_message"))
        row.add("is_audio_message", m.is_audio_message);
    if (has("is_played"))
        row.add("is_played", m.is_played);
    if (has("date_played"))
        row.add("date_played", storedDate(m.date_played));
    if (has("item_type"))
        row.add("item_type", m.item_type);
    // The record's own other_handle is a row id of the database it was read from.
    if (has("other_handle"))
        row.addOrDefault("other_handle", otherHandleRowId, otherHandleRowId > 0);
    if (has("group_title"))
        row.addOrDefault("group_title", m.group_title);
    if (has("group_action_type"))
        row.add("group_action_type", m.group_action_type);
    if (has("share_status"))
        row.add("share_status", m.share_status);
    if (has("share_direction"))
        row.add("share_direction", m.share_direction);
    if (has("is_expirable"))
        row.add("is_expirable", m.is_expirable);
    if (has("expire_state"))
        row.add("expire_state", m.expire_state);
    if (has("message_action_type"))
        row.add("message_action_type", m.message_action_type);
    if (has("logic_hash"))
        row.add("logic_hash", fingerprint.isEmpty() ? m.logicHash() : fingerprint);
    return insertValues(messageTable, row);
}

qint64 IOS6MessageDb::insertAttachment(const _MsgAttachment& a)
{
    initDb();
    InsertValues row;
    row.add("guid", a.guid);
    row.add("created_date", a.created_date);
    row.add("start_date", a.start_date);
    row.add("filename", a.filename);
    row.add("uti", a.uti);
    row.add("mime_type", a.mime_type);
    row.add("transfer_state", a.transfer_state);
    row.add("is_outgoing", a.is_outgoing);
    if (tableHas(attachmentTable, "user_info"))
        row.addBlobOrDefault("user_info", a.user_info);
    if (tableHas(attachmentTable, "transfer_name"))
        row.addOrDefault("transfer_name", a.transfer_name);
    if (tableHas(attachmentTable, "total_bytes"))
        row.add("total_bytes", a.total_bytes);
    return insertValues(attachmentTable, row);
}

qint64 IOS6MessageDb::insertChat(const _MsgChat& chat)
{
    initDb();
    if (chat.service_name != QLatin1String("SMS") && chat.service_name != QLatin1String("iMessage"))
        throw std::runtime_error(
            QStringLiteral("IOS6MessageDb::insertChat, invalid chat, service_name:%1").arg(chat.service_name).toStdString());
    InsertValues row;
    row.add("guid", chat.guid);
    row.add("style", chat.style);
    row.add("state", chat.state);
    row.addOrDefault("account_id", chat.account_id);
    row.add("chat_identifier", chat.chat_identifier);
    row.add("service_name", chat.service_name);
    row.addOrDefault("room_name", chat.room_name);
    row.add("account_login", chat.account_login);
    row.add("is_archived", chat.is_archived);
    if (tableHas(chatTable, "display_name"))
        row.addOrDefault("display_name", chat.display_name);
    // The same chat gets the same group id in every database it is written to.
    if (tableHas(chatTable, "group_id"))
        row.add("group_id", chat.group_id.isEmpty() ? guidFromBytes(chat.guid.toUtf8()) : chat.group_id);
    const qint64 chatId = insertValues(chatTable, row);
    for (const _MsgHandle* handle : chat.handles)
        joinChatHandle(chatId, findOrInsertHandle(*handle));
    return chatId;
}

qint64 IOS6MessageDb::insertValues(const QString& table, const InsertValues& row)
{
    PreparedInsert& insert = preparedInserts[table];
    if (insert.columns != row.columns()) {
        QHash<QString, QString> defaults;
        Sqlite3Cursor info = queryThrow(
            Sqlite3Sql("select lower(name), dflt_value from pragma_table_info(?)").addTextParam(table));
        while (info.moveNext())
            defaults.insert(info.getText(0), info.getText(1));
        QStringList names;
        QStringList values;
        for (const InsertValues::Column& column : row.columns()) {
            const QString name = QString::fromLatin1(column.name);
            const QString fallback = defaults.value(name.toLower());
            names.append(quoteSqlIdentifier(name));
            values.append(column.orDefault && !fallback.isEmpty() ? QStringLiteral("coalesce(?,%1)").arg(fallback)
                                                                  : QStringLiteral("?"));
        }
        insert.sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                         .arg(quoteSqlIdentifier(table), names.join(QLatin1Char(',')), values.join(QLatin1Char(',')))
                         .toUtf8();
        insert.columns = row.columns();
    }
    executeThrow(row.sql(insert.sql));
    return lastInsertId();
}

qint64 IOS6MessageDb::findOrInsertHandle(const _MsgHandle& handle)
{
    const qint64 found = findHandle(handle);
    return found ? found : insertHandle(handle);
}

void IOS6MessageDb::joinChatHandle(qint64 chatId, qint64 handleId)
{
    initDb();
    executeThrow(Sqlite3Sql("replace into chat_handle_join(chat_id,handle_id) values(?,?)").addInt64Param(chatId).addInt64Param(handleId));
}

void IOS6MessageDb::joinChatMessage(qint64 chatId, qint64 messageId)
{
    initDb();
    executeThrow(
        Sqlite3Sql("replace into chat_message_join(chat_id,message_id) values(?,?)").addInt64Param(chatId).addInt64Param(messageId));
}

void IOS6MessageDb::joinMessageAttachment(qint64 messageId, qint64 attachmentId)
{
    initDb();
    executeThrow(Sqlite3Sql("replace into message_attachment_join(message_id,attachment_id) values(?,?)")
                     .addInt64Param(messageId)
                     .addInt64Param(attachmentId));
}

void IOS6MessageDb::setLastAddressedHandle(qint64 chatId, const QString& handleId)
{
    initDb();
    Sqlite3Sql sql("update chat set last_addressed_handle=? where rowid=?");
    sql.addTextParam(handleId).addInt64Param(chatId);
    executeThrow(sql);
}

qint64 IOS6MessageDb::findRowId(const Sqlite3Sql& query)
{
    initDb();
    Sqlite3Cursor cursor = queryThrow(query);
    return cursor.moveNext() ? cursor.getInt64("rowid") : 0;
}

qint64 IOS6MessageDb::findAttachmentByGuid(const _MsgAttachment& attachment)
{
    return findRowId(Sqlite3Sql("select rowid from attachment where guid=?").addTextParam(attachment.guid));
}

qint64 IOS6MessageDb::findChatByGuid(const QString& guid)
{
    return findRowId(Sqlite3Sql("select rowid from chat where guid=?").addTextParam(guid));
}

qint64 IOS6MessageDb::findMessageByGuid(const QString& guid)
{
    return findRowId(Sqlite3Sql("select rowid from message where guid=?").addTextParam(guid));
}

qint64 IOS6MessageDb::findHandle(const _MsgHandle& handle)
{
    return findRowId(
        Sqlite3Sql("select rowid from handle where id=? and service=?").addTextParam(handle.id).addTextParam(handle.service));
}

bool IOS6MessageDb::hasChatHandle(qint64 chatId, qint64 handleId)
{
    initDb();
    return queryThrow(Sqlite3Sql("select 1 from chat_handle_join where chat_id=? and handle_id=?")
                          .addInt64Param(chatId)
                          .addInt64Param(handleId))
        .moveNext();
}

qint64 IOS6MessageDb::findMessageByLogicHash(const _MsgMessage& message)
{
    initDb();
    if (!tableHas(messageTable, "logic_hash"))
        return 0;
    return findRowId(Sqlite3Sql("select rowid from message where logic_hash=?").addTextParam(message.logicHash()));
}

IOS6MessageDb::MessageLookup IOS6MessageDb::lookUpMessage(const _MsgMessage& message, const QString& fingerprint)
{
    initDb();
    const bool byFingerprint = tableHas(messageTable, "logic_hash");
    Sqlite3Sql sql(QStringLiteral(
                       "select c, h, (select 1 from chat_handle_join where chat_id = c and handle_id = h), "
                       "coalesce(%1(select rowid from message where guid = ?)) "
                       "from (select (select rowid from chat where guid = ?) as c, "
                       "(select rowid from handle where id = ? and service = ?) as h)")
                       .arg(byFingerprint ? QStringLiteral("(select rowid from message where logic_hash = ?), ")
                                          : QString()));
    if (byFingerprint)
        sql.addTextParam(fingerprint);
    sql.addTextParam(message.guid);
    sql.addTextParam(message.chat ? message.chat->guid : QString());
    sql.addTextParam(message.handle ? message.handle->id : QString());
    sql.addTextParam(message.handle ? message.handle->service : QString());
    Sqlite3Cursor row = queryThrow(sql);
    MessageLookup found;
    if (!row.moveNext())
        return found;
    found.chatRow = row.getInt64(0);
    found.handleRow = message.handle ? row.getInt64(1) : 0;
    found.handleJoined = found.handleRow != 0 && row.getInt64(2) != 0;
    found.messageRow = row.getInt64(3);
    return found;
}

qint64 IOS6MessageDb::countChatMessages()
{
    initDb();
    QString sql = QStringLiteral(
        "select count(*) from chat_message_join as j inner join message as m on j.message_id = m.rowid");
    if (hasItemType())
        sql += QStringLiteral(" and m.item_type <> 4");
    Sqlite3Cursor cursor = queryThrow(sql);
    return cursor.moveNext() ? cursor.getInt64(0) : 0;
}

void IOS6MessageDb::deleteMessage(const _MsgMessage& message)
{
    initDb();
    // Bound, so that each statement is compiled once for a whole run of deletions.
    executeThrow(Sqlite3Sql("DELETE FROM message WHERE rowid=?").addInt64Param(message.rowid));
    executeThrow(Sqlite3Sql("DELETE FROM chat_message_join where message_id=?").addInt64Param(message.rowid));
    executeThrow(Sqlite3Sql("DELETE FROM message_attachment_join where message_id=?").addInt64Param(message.rowid));
    if (message.chat) {
        executeThrow(Sqlite3Sql("DELETE FROM chat WHERE rowid=?1 and (SELECT 1 from chat_message_join WHERE "
                                "chat_id=?1 LIMIT 1) IS NULL")
                         .addInt64Param(message.chat->rowid));
    }
}

void IOS6MessageDb::deleteOrphanedMessages()
{
    initDb();
    executeThrow("DELETE FROM message WHERE (SELECT 1 FROM chat_message_join WHERE message_id = message.ROWID LIMIT 1) "
                 "IS NULL");
}
