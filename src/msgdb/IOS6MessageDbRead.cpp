// The read side of IOS6MessageDb: chats, handles and messages into a message set.
#include "msgdb/IOS6MessageDb.h"

#include "model/AppleTime.h"

#include <QtDebug>

#include <exception>

namespace {

// Seconds since 2001 of a date column, whichever unit the phone stored it in.
qint32 dateColumn(const Sqlite3Cursor& row, const QString& column)
{
    return appleSecondsFromStored(row.getInt64(column));
}

const QString chatLastDatesSql = QStringLiteral(
    "select chat_id, max(date) as last from ( select cm.chat_id, m.date from chat_message_join as cm "
    "inner join message as m on cm.message_id=m.rowid ) as tmp group by chat_id");

const QString chatHandlesSql =
    QStringLiteral("select j.chat_id, h.* from chat_handle_join as j inner join handle as h on j.handle_id = h.rowid");

_MsgChat* readChat(const Sqlite3Cursor& row)
{
    auto* chat = new _MsgChat;
    chat->rowid = row.getInt64("rowid");
    chat->guid = row.getText("guid");
    chat->style = row.getInt("style");
    chat->state = row.getInt("state");
    chat->account_id = row.getText("account_id");
    chat->properties = row.getBlob("properties");
    chat->chat_identifier = row.getText("chat_identifier");
    chat->service_name = row.getText("service_name");
    chat->room_name = row.getText("room_name");
    chat->account_login = row.getText("account_login");
    chat->is_archived = row.getInt("is_archived");
    chat->last_addressed_handle = row.getText("last_addressed_handle");
    chat->display_name = row.getText("display_name");
    chat->lastDate = dateColumn(row, QStringLiteral("_last"));
    chat->group_id = row.getText("group_id");
    return chat;
}

_MsgHandle* readHandle(const Sqlite3Cursor& row)
{
    auto* handle = new _MsgHandle;
    handle->rowid = row.getInt64("rowid");
    handle->id = row.getText("id");
    handle->country = row.getText("country");
    handle->service = row.getText("service");
    handle->uncanonicalized_id = row.getText("uncanonicalized_id");
    handle->_ct_name = row.getText("_ct_name");
    handle->_photo = row.getBlob("_photo");
    return handle;
}

void readMessage(const Sqlite3Cursor& row, _MsgMessage& m)
{
    m.rowid = row.getInt64("rowid");
    m.guid = row.getText("guid");
    m.text = row.getText("text");
    m.replace = row.getInt("replace");
    m.service_center = row.getText("service_center");
    m.handle_id = row.getInt64("handle_id");
    m.subject = row.getText("subject");
    m.country = row.getText("country");
    m.attributedBody = row.getBlob("attributedBody");
    m.version = row.getInt("version");
    m.type = row.getInt("type");
    m.service = row.getText("service");
    m.account = row.getText("account");
    m.account_guid = row.getText("account_guid");
    m.error = row.getInt("error");
    m.date = dateColumn(row, QStringLiteral("date"));
    m.date_read = dateColumn(row, QStringLiteral("date_read"));
    m.date_delivered = dateColumn(row, QStringLiteral("date_delivered"));
    m.is_delivered = row.getInt("is_delivered");
    m.is_finished = row.getInt("is_finished");
    m.is_emote = row.getInt("is_emote");
    m.is_from_me = row.getInt("is_from_me");
    m.is_empty = row.getInt("is_empty");
    m.is_delayed = row.getInt("is_delayed");
    m.is_auto_reply = row.getInt("is_auto_reply");
    m.is_prepared = row.getInt("is_prepared");
    m.is_read = row.getInt("is_read");
    m.is_system_message = row.getInt("is_system_message");
    m.is_sent = row.getInt("is_sent");
    m.has_dd_results = row.getInt("has_dd_results");
    m.is_service_message = row.getInt("is_service_message");
    m.is_forward = row.getInt("is_forward");
    m.was_downgraded = row.getInt("was_downgraded");
    m.is_archive = row.getInt("is_archive");
    m.cache_has_attachments = row.getInt("cache_has_attachments");
    m.cache_roomnames = row.getText("cache_roomnames");
    m.was_data_detected = row.getInt("was_data_detected");
    m.was_deduplicated = row.getInt("was_deduplicated");
    // Columns of later iOS versions; an older file reads them as 0.
    m.is_audio_message = row.getInt("is_audio_message");
    m.is_played = row.getInt("is_played");
    m.date_played = dateColumn(row, QStringLiteral("date_played"));
    m.item_type = row.getInt("item_type");
    m.other_handle = row.getInt("other_handle");
    m.group_title = row.getText("group_title");
    m.group_action_type = row.getInt("group_action_type");
    m.share_status = row.getInt("share_status");
    m.share_direction = row.getInt("share_direction");
    m.is_expirable = row.getInt("is_expirable");
    m.expire_state = row.getInt("expire_state");
    m.message_action_type = row.getInt("message_action_type");
}

} // namespace

void IOS6MessageDb::chats(MsgSetPtr& set)
{
    initDb();
    try {
        contacts.initDb();
    } catch (const std::exception&) {
        // Without a usable address book the handles keep the names stored in their rows.
    }
    _MsgSet* records = set.data();

    Sqlite3Cursor chatRows = queryThrow("select * from chat");
    while (chatRows.moveNext()) {
        const qint64 rowid = chatRows.getInt64("rowid");
        if (!records->chats.contains(rowid))
            records->chats.insert(rowid, readChat(chatRows));
    }

    // Our own files keep _last up to date; a phone's file has to be asked.
    if (!tableHas(QStringLiteral("chat"), QStringLiteral("_last INTEGER"), Qt::CaseInsensitive)) {
        Sqlite3Cursor lastDates = queryThrow(chatLastDatesSql);
        while (lastDates.moveNext()) {
            if (_MsgChat* chat = records->chats.value(lastDates.getInt64("chat_id")))
                chat->lastDate = dateColumn(lastDates, QStringLiteral("last"));
        }
    }

    Sqlite3Cursor handleRows = queryThrow(chatHandlesSql);
    while (handleRows.moveNext()) {
        const qint64 rowid = handleRows.getInt64("rowid");
        _MsgHandle* handle = records->handles.value(rowid);
        if (!handle) {
            handle = readHandle(handleRows);
            records->handles.insert(rowid, handle);
            if (!handle->country.isEmpty()) {
                handle->id = country.countryBySn(handle->country).canonicalizePhoneNumber(handle->id);
            } else {
                const _CountryInfo& home = country.defaultCountry();
                handle->country = home.sn.toLower();
                handle->id = home.canonicalizePhoneNumber(handle->id);
            }
            if (contacts.handle()) {
                try {
                    const _ContactPerson person = contacts.findContactByNumber(handle->id);
                    handle->_ct_name = person.displayName();
                    handle->_photo = person.photo;
                } catch (const std::exception& e) {
                    qWarning("%s", qUtf8Printable(QStringLiteral("IOS6MessageDb::chats, IOSContactsMemDb error. %1")
                                                      .arg(QString::fromUtf8(e.what()))));
                }
            }
        }
        if (_MsgChat* chat = records->chats.value(handleRows.getInt64("chat_id")))
            chat->handles.insert(QString::number(rowid), handle);
    }
}

void IOS6MessageDb::messages(MsgSetPtr& set, qint64 chatKey)
{
    initDb();
    chats(set);
    _MsgSet* records = set.data();

    QString sql = QStringLiteral(
        "select j.chat_id, m.* from chat_message_join as j inner join message as m on j.message_id = m.rowid");
    if (hasItemType())
        sql += QStringLiteral(" and m.item_type <> 4");
    if (chatKey > 0)
        sql += QStringLiteral(" and j.chat_id=%1").arg(chatKey);

    Sqlite3Cursor rows = queryThrow(sql);
    while (rows.moveNext()) {
        const qint64 rowid = rows.getInt64("rowid");
        _MsgMessage* message = records->messages.value(rowid);
        if (!message) {
            message = new _MsgMessage;
            records->messages.insert(rowid, message);
            message->seq = rowid;
            readMessage(rows, *message);
        }
        if (_MsgHandle* sender = records->handles.value(message->handle_id)) {
            message->handle = sender;
            if (message->country.isEmpty())
                message->country = sender->country;
        }
        if (message->other_handle > 0) {
            if (_MsgHandle* other = records->handles.value(message->other_handle))
                message->otherHandle = other;
        }
        _MsgChat* chat = records->chats.value(rows.getInt64("chat_id"));
        if (!chat)
            continue;
        message->chat = chat;
        chat->messages.insert(QString::number(rowid), message);
    }
}
