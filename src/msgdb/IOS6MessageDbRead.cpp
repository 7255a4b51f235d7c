// The read side of IOS6MessageDb: chats, handles and messages into a message set.
#include "msgdb/IOS6MessageDb.h"
#include "msgdb/MessageRowDates.h"
#include "msgdb/MsgDbLog.h"

#include "model/AppleTime.h"

#include "sqlite/Sqlite3RowReader.h"

#include <QtDebug>

#include <exception>
#include <memory>

namespace {

// A chat's last date orders the chat list and is never stored: a date beyond what a
// record holds keeps its place at the end.
qint32 lastDateColumn(const Sqlite3Cursor& row, const QString& column)
{
    return appleSecondsForOrdering(row.getInt64(column));
}

qint32 lastDateColumn(Sqlite3RowReader& row, const char* column)
{
    return appleSecondsForOrdering(row.int64(column));
}

const QString chatLastDatesSql = QStringLiteral(
    "select chat_id, max(date) as last from ( select cm.chat_id, m.date from chat_message_join as cm "
    "inner join message as m on cm.message_id=m.rowid ) as tmp group by chat_id");

const QString chatHandlesSql =
    QStringLiteral("select j.chat_id, h.* from chat_handle_join as j inner join handle as h on j.handle_id = h.rowid");

_MsgChat* readChat(Sqlite3RowReader& row)
{
    auto* chat = new _MsgChat;
    chat->rowid = row.int64("rowid");
    chat->guid = row.text("guid");
    chat->style = row.integer("style");
    chat->state = row.integer("state");
    chat->account_id = row.text("account_id");
    chat->properties = row.blob("properties");
    chat->chat_identifier = row.text("chat_identifier");
    chat->service_name = row.text("service_name");
    chat->room_name = row.text("room_name");
    chat->account_login = row.text("account_login");
    chat->is_archived = row.integer("is_archived");
    chat->last_addressed_handle = row.text("last_addressed_handle");
    chat->display_name = row.text("display_name");
    chat->lastDate = lastDateColumn(row, "_last");
    chat->group_id = row.text("group_id");
    return chat;
}

_MsgHandle* readHandle(Sqlite3RowReader& row)
{
    auto* handle = new _MsgHandle;
    handle->rowid = row.int64("rowid");
    handle->id = row.text("id");
    handle->country = row.text("country");
    handle->service = row.text("service");
    handle->uncanonicalized_id = row.text("uncanonicalized_id");
    handle->_ct_name = row.text("_ct_name");
    handle->_photo = row.blob("_photo");
    return handle;
}

// Whichever unit the phone stored the dates in; the dates leave out a message whose
// date no record can hold.
void readMessage(Sqlite3RowReader& row, _MsgMessage& m, MessageRowDates& dates)
{
    m.rowid = row.int64("rowid");
    m.guid = row.text("guid");
    m.text = row.text("text");
    m.replace = row.integer("replace");
    m.service_center = row.text("service_center");
    m.handle_id = row.int64("handle_id");
    m.subject = row.text("subject");
    m.country = row.text("country");
    m.attributedBody = row.blob("attributedBody");
    m.version = row.integer("version");
    m.type = row.integer("type");
    m.service = row.text("service");
    m.account = row.text("account");
    m.account_guid = row.text("account_guid");
    m.error = row.integer("error");
    m.date = dates.take(row.int64("date"));
    m.date_read = dates.take(row.int64("date_read"));
    m.date_delivered = dates.take(row.int64("date_delivered"));
    m.is_delivered = row.integer("is_delivered");
    m.is_finished = row.integer("is_finished");
    m.is_emote = row.integer("is_emote");
    m.is_from_me = row.integer("is_from_me");
    m.is_empty = row.integer("is_empty");
    m.is_delayed = row.integer("is_delayed");
    m.is_auto_reply = row.integer("is_auto_reply");
    m.is_prepared = row.integer("is_prepared");
    m.is_read = row.integer("is_read");
    m.is_system_message = row.integer("is_system_message");
    m.is_sent = row.integer("is_sent");
    m.has_dd_results = row.integer("has_dd_results");
    m.is_service_message = row.integer("is_service_message");
    m.is_forward = row.integer("is_forward");
    m.was_downgraded = row.integer("was_downgraded");
    m.is_archive = row.integer("is_archive");
    m.cache_has_attachments = row.integer("cache_has_attachments");
    m.cache_roomnames = row.text("cache_roomnames");
    m.was_data_detected = row.integer("was_data_detected");
    m.was_deduplicated = row.integer("was_deduplicated");
    // Columns of later iOS versions; an older file reads them as 0.
    m.is_audio_message = row.integer("is_audio_message");
    m.is_played = row.integer("is_played");
    m.date_played = dates.take(row.int64("date_played"));
    m.item_type = row.integer("item_type");
    m.other_handle = row.integer("other_handle");
    m.group_title = row.text("group_title");
    m.group_action_type = row.integer("group_action_type");
    m.share_status = row.integer("share_status");
    m.share_direction = row.integer("share_direction");
    m.is_expirable = row.integer("is_expirable");
    m.expire_state = row.integer("expire_state");
    m.message_action_type = row.integer("message_action_type");
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

    Sqlite3Cursor chatCursor = queryThrow("select * from chat");
    Sqlite3RowReader chatRows(chatCursor);
    while (chatRows.moveNext()) {
        const qint64 rowid = chatRows.int64("rowid");
        if (!records->chats.contains(rowid))
            records->chats.insert(rowid, readChat(chatRows));
    }

    // Our own files keep _last up to date; a phone's file has to be asked.
    if (!tableHas(QStringLiteral("chat"), QStringLiteral("_last INTEGER"), Qt::CaseInsensitive)) {
        Sqlite3Cursor lastDates = queryThrow(chatLastDatesSql);
        while (lastDates.moveNext()) {
            if (_MsgChat* chat = records->chats.value(lastDates.getInt64("chat_id")))
                chat->lastDate = lastDateColumn(lastDates, QStringLiteral("last"));
        }
    }

    Sqlite3Cursor handleCursor = queryThrow(chatHandlesSql);
    Sqlite3RowReader handleRows(handleCursor);
    while (handleRows.moveNext()) {
        const qint64 rowid = handleRows.int64("rowid");
        const qint64 chatId = handleRows.int64("chat_id");
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
                    qCWarning(lcMsgDb, "%s",
                              qUtf8Printable(QStringLiteral("IOS6MessageDb::chats, IOSContactsMemDb error. %1")
                                                 .arg(QString::fromUtf8(e.what()))));
                }
            }
        }
        if (_MsgChat* chat = records->chats.value(chatId))
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

    // Sized once: growing a table of a million entries step by step moves every entry
    // about twenty times, each move a likely cache miss.
    if (records->messages.isEmpty() && chatKey <= 0) {
        Sqlite3Cursor count = queryThrow("select count(*) from chat_message_join");
        if (count.moveNext())
            records->messages.reserve(count.getInt64(0));
    }
    Sqlite3Cursor cursor = queryThrow(sql);
    Sqlite3RowReader rows(cursor);
    while (rows.moveNext()) {
        // Read before the message's own columns, which only a message not yet loaded reads.
        const qint64 rowid = rows.int64("rowid");
        const qint64 chatId = rows.int64("chat_id");
        _MsgMessage* message = records->messages.value(rowid);
        if (!message) {
            if (records->undatableMessages.contains(rowid))
                continue;
            auto read = std::make_unique<_MsgMessage>();
            MessageRowDates dates;
            readMessage(rows, *read, dates);
            if (!dates.keepIn(*records, rowid, "IOS6MessageDb"))
                continue;
            message = read.release();
            records->messages.insert(rowid, message);
            message->seq = rowid;
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
        _MsgChat* chat = records->chats.value(chatId);
        if (!chat)
            continue;
        message->chat = chat;
        chat->messages.insert(QString::number(rowid), message);
    }
}
