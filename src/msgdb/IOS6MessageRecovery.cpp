#include "msgdb/IOS6MessageRecovery.h"

#include "model/MessageRecycleDb.h"
#include "model/MsgChat.h"
#include "model/MsgHandle.h"
#include "model/MsgMessage.h"
#include "msgdb/DeletedRecordScan.h"
#include "msgdb/IOS6MessageDb.h"
#include "msgdb/MessageRowDates.h"

#include <QHash>

namespace {

// The value at index i as QVariant converts it: NULL reads as 0 or as empty text.
QVariant value(const _SqliteRow& row, int i)
{
    return row.values.value(i);
}

QString text(const _SqliteRow& row, int i)
{
    return value(row, i).toString();
}

bool isMessageService(const QString& service)
{
    return service == QLatin1String("SMS") || service == QLatin1String("iMessage");
}

// How a column's flags tell the carver which columns never hold NULL.
enum class Flag { None, NotNull, Default, RowId };

struct CarvedColumn
{
    const char* name;
    const char* type;
    Flag flag;
};

QList<_SqliteCol> layout(const CarvedColumn* begin, const CarvedColumn* end)
{
    QList<_SqliteCol> columns;
    for (const CarvedColumn* c = begin; c != end; ++c)
        columns.append(_SqliteCol(QLatin1String(c->name), QLatin1String(c->type), c->flag == Flag::NotNull,
                                  c->flag == Flag::Default, c->flag == Flag::RowId));
    return columns;
}

constexpr CarvedColumn handleColumns[] = {
    {"ROWID", "INTEGER", Flag::RowId}, {"id", "TEXT", Flag::NotNull},      {"country", "TEXT", Flag::None},
    {"service", "TEXT", Flag::NotNull}, {"uncanonicalized_id", "TEXT", Flag::None},
};

// The iOS 6 message table, then the 13 columns from is_audio_message that later iOS
// versions added.
constexpr CarvedColumn messageColumns[] = {
    {"ROWID", "INTEGER", Flag::RowId},
    {"guid", "TEXT", Flag::NotNull},
    {"text", "TEXT", Flag::None},
    {"replace", "INTEGER", Flag::Default},
    {"service_center", "TEXT", Flag::None},
    {"handle_id", "INTEGER", Flag::Default},
    {"subject", "TEXT", Flag::None},
    {"country", "TEXT", Flag::None},
    {"attributedBody", "BLOB", Flag::None},
    {"version", "INTEGER", Flag::Default},
    {"type", "INTEGER", Flag::Default},
    {"service", "TEXT", Flag::None},
    {"account", "TEXT", Flag::None},
    {"account_guid", "TEXT", Flag::None},
    {"error", "INTEGER", Flag::Default},
    {"date", "INTEGER", Flag::None},
    {"date_read", "INTEGER", Flag::None},
    {"date_delivered", "INTEGER", Flag::None},
    {"is_delivered", "INTEGER", Flag::Default},
    {"is_finished", "INTEGER", Flag::Default},
    {"is_emote", "INTEGER", Flag::Default},
    {"is_from_me", "INTEGER", Flag::Default},
    {"is_empty", "INTEGER", Flag::Default},
    {"is_delayed", "INTEGER", Flag::Default},
    {"is_auto_reply", "INTEGER", Flag::Default},
    {"is_prepared", "INTEGER", Flag::Default},
    {"is_read", "INTEGER", Flag::Default},
    {"is_system_message", "INTEGER", Flag::Default},
    {"is_sent", "INTEGER", Flag::Default},
    {"has_dd_results", "INTEGER", Flag::Default},
    {"is_service_message", "INTEGER", Flag::Default},
    {"is_forward", "INTEGER", Flag::Default},
    {"was_downgraded", "INTEGER", Flag::Default},
    {"is_archive", "INTEGER", Flag::Default},
    {"cache_has_attachments", "INTEGER", Flag::Default},
    {"cache_roomnames", "TEXT", Flag::None},
    {"was_data_detected", "INTEGER", Flag::Default},
    {"was_deduplicated", "INTEGER", Flag::Default},
    {"is_audio_message", "INTEGER", Flag::Default},
    {"is_played", "INTEGER", Flag::Default},
    {"date_played", "INTEGER", Flag::None},
    {"item_type", "INTEGER", Flag::Default},
    {"other_handle", "INTEGER", Flag::Default},
    {"group_title", "TEXT", Flag::None},
    {"group_action_type", "INTEGER", Flag::Default},
    {"share_status", "INTEGER", Flag::None},
    {"share_direction", "INTEGER", Flag::None},
    {"is_expirable", "INTEGER", Flag::Default},
    {"expire_state", "INTEGER", Flag::Default},
    {"message_action_type", "INTEGER", Flag::Default},
    {"message_source", "INTEGER", Flag::Default},
};

constexpr int ios6MessageColumnCount = 38;
// message_source, the last column, is carved but not kept.
constexpr int laterMessageColumnCount = 50;

// The layouts tried on every page, narrowest first.
const QList<QList<_SqliteCol>>& messageLayouts()
{
    static const QList<QList<_SqliteCol>> layouts = {
        layout(std::begin(messageColumns), std::begin(messageColumns) + ios6MessageColumnCount),
        layout(std::begin(messageColumns), std::end(messageColumns)),
    };
    return layouts;
}

const QList<_SqliteCol>& handleLayout()
{
    static const QList<_SqliteCol> columns = layout(std::begin(handleColumns), std::end(handleColumns));
    return columns;
}

// The integers at indexes 14 to 34, in column order.
constexpr qint32 _MsgMessage::*messageIntegers[] = {
    &_MsgMessage::error,          &_MsgMessage::date,           &_MsgMessage::date_read,
    &_MsgMessage::date_delivered, &_MsgMessage::is_delivered,   &_MsgMessage::is_finished,
    &_MsgMessage::is_emote,       &_MsgMessage::is_from_me,     &_MsgMessage::is_empty,
    &_MsgMessage::is_delayed,     &_MsgMessage::is_auto_reply,  &_MsgMessage::is_prepared,
    &_MsgMessage::is_read,        &_MsgMessage::is_system_message, &_MsgMessage::is_sent,
    &_MsgMessage::has_dd_results, &_MsgMessage::is_service_message, &_MsgMessage::is_forward,
    &_MsgMessage::was_downgraded, &_MsgMessage::is_archive,     &_MsgMessage::cache_has_attachments,
};
constexpr int firstMessageInteger = 14;

// Handle row id -> the live chat its messages are filed into. A one-to-one chat wins over
// group chats; among group chats the first in the list wins.
QHash<qint64, _MsgChat*> chatsByHandle(const QList<_MsgChat*>& chats)
{
    QHash<qint64, _MsgChat*> map;
    for (_MsgChat* chat : chats) {
        for (const _MsgHandle* handle : std::as_const(chat->handles)) {
            if (!chat->isGroupChat() || !map.contains(handle->rowid))
                map.insert(handle->rowid, chat);
        }
    }
    return map;
}

} // namespace

bool ios6MessageRowFilter(const _SqliteRow& row)
{
    return row.values.size() >= ios6MessageColumnCount && isMessageService(text(row, 11));
}

bool ios6HandleRowFilter(const _SqliteRow& row)
{
    return row.values.size() >= handleLayout().size() && isMessageService(text(row, 3));
}

IOS6MessageRecovery::IOS6MessageRecovery(IOS6MessageDb& db, const QString& mcc) : db(db), country(mcc) {}

bool IOS6MessageRecovery::messageFromRow(const _SqliteRow& row, _MsgMessage& m)
{
    if (row.values.size() < ios6MessageColumnCount)
        return false;
    m.rowid = row.rowid;
    m.guid = text(row, 1);
    m.text = text(row, 2);
    m.replace = value(row, 3).toInt();
    m.service_center = text(row, 4);
    m.handle_id = value(row, 5).toLongLong();
    m.subject = text(row, 6);
    m.country = text(row, 7);
    m.attributedBody = value(row, 8).toByteArray();
    m.version = value(row, 9).toInt();
    m.type = value(row, 10).toInt();
    m.service = text(row, 11);
    if (!isMessageService(m.service))
        return false;
    m.account = text(row, 12);
    m.account_guid = text(row, 13);
    int i = firstMessageInteger;
    for (qint32 _MsgMessage::*field : messageIntegers)
        m.*field = value(row, i++).toInt();
    // Later phones store the dates in nanoseconds, beyond what toInt() keeps. A row with a
    // date no record can hold is no message the store can keep.
    MessageRowDates dates;
    const auto date = [&](int column) { return dates.take(value(row, column).toLongLong()); };
    m.date = date(15);
    m.date_read = date(16);
    m.date_delivered = date(17);
    m.cache_roomnames = text(row, 35);
    m.was_data_detected = value(row, 36).toInt();
    m.was_deduplicated = value(row, 37).toInt();
    if (row.values.size() >= laterMessageColumnCount) {
        m.is_audio_message = value(row, 38).toInt();
        m.is_played = value(row, 39).toInt();
        m.date_played = date(40);
        m.item_type = value(row, 41).toInt();
        m.other_handle = value(row, 42).toInt();
        m.group_title = text(row, 43);
        m.group_action_type = value(row, 44).toInt();
        m.share_status = value(row, 45).toInt();
        m.share_direction = value(row, 46).toInt();
        m.is_expirable = value(row, 47).toInt();
        m.expire_state = value(row, 48).toInt();
        m.message_action_type = value(row, 49).toInt();
    }
    return dates.allHeld();
}

bool IOS6MessageRecovery::handleFromRow(const _SqliteRow& row, _MsgHandle& h)
{
    if (row.values.size() < handleLayout().size())
        return false;
    h.rowid = row.rowid;
    h.country = text(row, 2);
    bool found = false;
    const _CountryInfo c = country.countryBySn(h.country, &found);
    if (!h.country.isEmpty() && !found)
        return false;
    h.id = c.canonicalizePhoneNumber(text(row, 1));
    h.service = text(row, 3);
    if (!isMessageService(h.service))
        return false;
    h.uncanonicalized_id = text(row, 4);
    return true;
}

void IOS6MessageRecovery::recoverDeletedHandles(WorkerReport* form)
{
    MessageRecycleDb& recycle = *db.recycleDb();
    DeletedRecordScan scan(db, recycle, form);
    scan.run(
        QStringLiteral("handle"),
        [&](const _SqliteRow& row, DeletedRecordScan::CellOrigin origin) {
            _MsgHandle handle;
            if (handleFromRow(row, handle) && recycle.findHandle(handle) == 0
                && (origin == DeletedRecordScan::CellOrigin::FreedPage || db.findHandle(handle) == 0))
                recycle.insertHandle(handle, row.rowid);
        },
        [&](int, const DeletedRecordScan::PageCarver& carve) {
            QList<_MsgHandle> found;
            for (const _SqliteRow& row : carve(handleLayout(), ios6HandleRowFilter)) {
                _MsgHandle handle;
                if (handleFromRow(row, handle))
                    found.append(handle);
            }
            for (const _MsgHandle& handle : std::as_const(found)) {
                if (scan.cancelled())
                    return;
                // The row id is the one the carver could read back, usually none.
                if (recycle.findHandle(handle) == 0)
                    recycle.insertHandle(handle, handle.rowid);
            }
        });
}

void IOS6MessageRecovery::recoverDeletedMessages(const QList<_MsgChat*>& chats, WorkerReport* form)
{
    const QHash<qint64, _MsgChat*> chatOfHandle = chatsByHandle(chats);
    MessageRecycleDb& recycle = *db.recycleDb();
    // Files the message into the live chat of its handle, else under its deleted handle,
    // with the source row id that each case keeps.
    auto store = [&](const _MsgMessage& m, qint64 srcRowidInChat, qint64 srcRowidAlone) {
        if (const _MsgChat* chat = chatOfHandle.value(m.handle_id)) {
            const QString handleId = chat->handles.isEmpty() ? QString() : (*chat->handles.cbegin())->id;
            recycle.insertMessage(m, chat->chat_identifier, handleId, srcRowidInChat);
            return;
        }
        const _MsgHandle sender = recycle.handleBySrcRowid(m.handle_id);
        recycle.insertMessage(m, sender.id, sender.id, srcRowidAlone);
    };

    DeletedRecordScan scan(db, recycle, form);
    scan.run(
        QStringLiteral("message"),
        [&](const _SqliteRow& row, DeletedRecordScan::CellOrigin origin) {
            // A message on a freed page may be live elsewhere: loading leaves it out then.
            _MsgMessage m;
            if (messageFromRow(row, m) && m.item_type == 0 && recycle.findMessage(m) == 0
                && (origin == DeletedRecordScan::CellOrigin::FreedPage || db.findMessageByGuid(m.guid) == 0))
                store(m, row.rowid, row.rowid);
        },
        [&](int, const DeletedRecordScan::PageCarver& carve) {
            QList<_MsgMessage> found;
            for (const QList<_SqliteCol>& columns : messageLayouts()) {
                for (const _SqliteRow& row : carve(columns, ios6MessageRowFilter)) {
                    _MsgMessage m;
                    if (messageFromRow(row, m) && m.item_type == 0)
                        found.append(m);
                }
            }
            for (const _MsgMessage& m : std::as_const(found)) {
                if (scan.cancelled())
                    return;
                // Free space of a live page also holds old copies of rows SQLite moved.
                if (recycle.findMessage(m) == 0 && db.findMessageByGuid(m.guid) == 0)
                    store(m, 0, m.rowid);
            }
        });
}

void IOS6MessageRecovery::loadRecycledMessages(MsgSetPtr& set)
{
    db.initDb();
    QList<_RecycledMessage> messages = db.recycleDb()->loadMessages();
    messages.removeIf([this](const _RecycledMessage& m) { return db.findMessageByGuid(m.guid) != 0; });
    MessageRecycleDb::buildChats(set, messages);
}
