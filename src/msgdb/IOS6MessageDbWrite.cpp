// The write side of IOS6MessageDb: single rows in, lookups, and deleting one message.
// Optional columns are written only where the file's cached CREATE text has them.
#include "msgdb/IOS6MessageDb.h"

#include "model/MsgIdentity.h"

#include <stdexcept>

namespace {

const QString messageTable = QStringLiteral("message");
const QString handleTable = QStringLiteral("handle");
const QString chatTable = QStringLiteral("chat");
const QString attachmentTable = QStringLiteral("attachment");

void insertIfNotEmpty(Sqlite3Row& row, const QString& column, const QString& value)
{
    if (!value.isEmpty())
        row.insert(column, value);
}

} // namespace

qint64 IOS6MessageDb::insertHandle(const _MsgHandle& handle)
{
    initDb();
    Sqlite3Row row;
    row.insert("id", handle.id);
    insertIfNotEmpty(row, "country", handle.country);
    row.insert("service", handle.service);
    insertIfNotEmpty(row, "uncanonicalized_id", handle.uncanonicalized_id);
    if (tableHas(handleTable, "_ct_name TEXT", Qt::CaseInsensitive))
        row.insert("_ct_name", handle._ct_name);
    if (tableHas(handleTable, "_photo BLOB", Qt::CaseInsensitive))
        row.insert("_photo", handle._photo);
    return insertRow(row, handleTable);
}

qint64 IOS6MessageDb::insertMessage(const _MsgMessage& m, qint64 handleRowId, qint64 otherHandleRowId,
                                    const QString& fingerprint)
{
    initDb();
    auto has = [this](const char* column) { return tableHas(messageTable, QLatin1String(column)); };
    Sqlite3Row row;
    row.insert("guid", m.guid);
    row.insert("text", m.text);
    row.insert("replace", m.replace);
    insertIfNotEmpty(row, "service_center", m.service_center);
    row.insert("handle_id", handleRowId);
    insertIfNotEmpty(row, "subject", m.subject);
    insertIfNotEmpty(row, "country", m.country);
    if (!m.attributedBody.isEmpty())
        row.insert("attributedBody", m.attributedBody);
    row.insert("version", m.version);
    row.insert("type", m.type);
    row.insert("service", m.service);
    row.insert("account", m.account);
    row.insert("account_guid", m.account_guid);
    row.insert("error", m.error);
    row.insert("date", storedDate(m.date));
    row.insert("date_read", storedDate(m.date_read));
    row.insert("date_delivered", storedDate(m.date_delivered));
    row.insert("is_delivered", m.is_delivered);
    row.insert("is_finished", m.is_finished);
    row.insert("is_emote", m.is_emote);
    row.insert("is_from_me", m.is_from_me);
    row.insert("is_empty", m.is_empty);
    row.insert("is_delayed", m.is_delayed);
    row.insert("is_auto_reply", m.is_auto_reply);
    row.insert("is_prepared", m.is_prepared);
    row.insert("is_read", m.is_read);
    row.insert("is_system_message", m.is_system_message);
    row.insert("is_sent", m.is_sent);
    row.insert("has_dd_results", m.has_dd_results);
    row.insert("is_service_message", m.is_service_message);
    row.insert("is_forward", m.is_forward);
    row.insert("was_downgraded", m.was_downgraded);
    row.insert("is_archive", m.is_archive);
    row.insert("cache_has_attachments", m.cache_has_attachments);
    row.insert("cache_roomnames", m.cache_roomnames);
    row.insert("was_data_detected", m.was_data_detected);
    row.insert("was_deduplicated", m.was_deduplicated);
    if (has("is_audio_message"))
        row.insert("is_audio_message", m.is_audio_message);
    if (has("is_played"))
        row.insert("is_played", m.is_played);
    if (has("date_played"))
        row.insert("date_played", storedDate(m.date_played));
    if (has("item_type"))
        row.insert("item_type", m.item_type);
    // The record's own other_handle is a row id of the database it was read from.
    if (has("other_handle") && otherHandleRowId > 0)
        row.insert("other_handle", otherHandleRowId);
    if (has("group_title") && !m.group_title.isEmpty())
        row.insert("group_title", m.group_title);
    if (has("group_action_type"))
        row.insert("group_action_type", m.group_action_type);
    if (has("share_status"))
        row.insert("share_status", m.share_status);
    if (has("share_direction"))
        row.insert("share_direction", m.share_direction);
    if (has("is_expirable"))
        row.insert("is_expirable", m.is_expirable);
    if (has("expire_state"))
        row.insert("expire_state", m.expire_state);
    if (has("message_action_type"))
        row.insert("message_action_type", m.message_action_type);
    if (has("logic_hash"))
        row.insert("logic_hash", fingerprint.isEmpty() ? m.logicHash() : fingerprint);
    return insertRow(row, messageTable);
}

qint64 IOS6MessageDb::insertAttachment(const _MsgAttachment& a)
{
    initDb();
    Sqlite3Row row;
    row.insert("guid", a.guid);
    row.insert("created_date", a.created_date);
    row.insert("start_date", a.start_date);
    row.insert("filename", a.filename);
    row.insert("uti", a.uti);
    row.insert("mime_type", a.mime_type);
    row.insert("transfer_state", a.transfer_state);
    row.insert("is_outgoing", a.is_outgoing);
    if (tableHas(attachmentTable, "user_info") && !a.user_info.isEmpty())
        row.insert("user_info", a.user_info);
    if (tableHas(attachmentTable, "transfer_name") && !a.transfer_name.isEmpty())
        row.insert("transfer_name", a.transfer_name);
    if (tableHas(attachmentTable, "total_bytes"))
        row.insert("total_bytes", a.total_bytes);
    return insertRow(row, attachmentTable);
}

qint64 IOS6MessageDb::insertChat(const _MsgChat& chat)
{
    initDb();
    if (chat.service_name != QLatin1String("SMS") && chat.service_name != QLatin1String("iMessage"))
        throw std::runtime_error(
            QStringLiteral("IOS6MessageDb::insertChat, invalid chat, service_name:%1").arg(chat.service_name).toStdString());
    Sqlite3Row row;
    row.insert("guid", chat.guid);
    row.insert("style", chat.style);
    row.insert("state", chat.state);
    insertIfNotEmpty(row, "account_id", chat.account_id);
    row.insert("chat_identifier", chat.chat_identifier);
    row.insert("service_name", chat.service_name);
    insertIfNotEmpty(row, "room_name", chat.room_name);
    row.insert("account_login", chat.account_login);
    row.insert("is_archived", chat.is_archived);
    if (tableHas(chatTable, "display_name") && !chat.display_name.isEmpty())
        row.insert("display_name", chat.display_name);
    // The same chat gets the same group id in every database it is written to.
    if (tableHas(chatTable, "group_id"))
        row.insert("group_id", chat.group_id.isEmpty() ? guidFromBytes(chat.guid.toUtf8()) : chat.group_id);
    const qint64 chatId = insertRow(row, chatTable);
    for (const _MsgHandle* handle : chat.handles)
        joinChatHandle(chatId, findOrInsertHandle(*handle));
    return chatId;
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
    const QString id = QString::number(message.rowid);
    executeThrow(QStringLiteral("DELETE FROM message WHERE rowid=%1").arg(id));
    executeThrow(QStringLiteral("DELETE FROM chat_message_join where message_id=%1").arg(id));
    executeThrow(QStringLiteral("DELETE FROM message_attachment_join where message_id=%1").arg(id));
    if (message.chat) {
        const QString chatId = QString::number(message.chat->rowid);
        executeThrow(QStringLiteral("DELETE FROM chat WHERE rowid=%1 and (SELECT 1 from chat_message_join WHERE "
                                    "chat_id=%2 LIMIT 1) IS NULL")
                         .arg(chatId, chatId));
    }
}
