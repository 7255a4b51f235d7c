#include "msgdb/IOS5MessageRecovery.h"

#include "model/AppleTime.h"
#include "model/MessageRecycleDb.h"
#include "model/MsgIdentity.h"
#include "msgdb/DeletedRecordScan.h"
#include "msgdb/IOS5MessageDb.h"

#include <QDateTime>
#include <QSet>

#include <iterator>

namespace {

// The iOS 5 message table. Only ROWID is flagged, so the carver takes NULL for any other
// column.
constexpr std::pair<const char*, const char*> messageColumns[] = {
    {"ROWID", "INTEGER"},
    {"address", "TEXT"},
    {"date", "INTEGER"},
    {"text", "TEXT"},
    {"flags", "INTEGER"},
    {"replace", "INTEGER"},
    {"svc_center", "TEXT"},
    {"group_id", "INTEGER"},
    {"association_id", "INTEGER"},
    {"height", "INTEGER"},
    {"UIFlags", "INTEGER"},
    {"version", "INTEGER"},
    {"subject", "TEXT"},
    {"country", "TEXT"},
    {"headers", "BLOB"},
    {"recipients", "BLOB"},
    {"read", "INTEGER"},
    {"madrid_attributedBody", "BLOB"},
    {"madrid_handle", "TEXT"},
    {"madrid_version", "INTEGER"},
    {"madrid_guid", "TEXT"},
    {"madrid_type", "INTEGER"},
    {"madrid_roomname", "TEXT"},
    {"madrid_service", "TEXT"},
    {"madrid_account", "TEXT"},
    {"madrid_flags", "INTEGER"},
    {"madrid_attachmentInfo", "BLOB"},
    {"madrid_url", "TEXT"},
    {"madrid_error", "INTEGER"},
    {"is_madrid", "INTEGER"},
    {"madrid_date_read", "INTEGER"},
    {"madrid_date_delivered", "INTEGER"},
    {"madrid_account_guid", "TEXT"},
};

// Rows narrower than this are no message; rows wider than madridColumns carry is_madrid.
constexpr int smsColumns = 17;
constexpr int madridColumns = 32;

QList<_SqliteCol> layout(int width)
{
    QList<_SqliteCol> columns;
    for (int i = 0; i < width; ++i)
        columns.append(_SqliteCol(QLatin1String(messageColumns[i].first), QLatin1String(messageColumns[i].second),
                                  false, false, i == 0));
    return columns;
}

// The three widths the table had over the iOS 5 releases, tried widest first: each is a
// prefix of the next, so a narrower one also matches the start of a wider record.
const QList<QList<_SqliteCol>>& messageLayouts()
{
    static const QList<QList<_SqliteCol>> layouts = {layout(int(std::size(messageColumns))),
                                                     layout(madridColumns), layout(smsColumns)};
    return layouts;
}

QVariant value(const _SqliteRow& row, int i)
{
    return row.values.value(i);
}

int integer(const _SqliteRow& row, int i)
{
    return value(row, i).toInt();
}

QString text(const _SqliteRow& row, int i)
{
    return value(row, i).toString();
}

bool isReadFlag(int read)
{
    return read == 0 || read == 1;
}

bool isUiFlags(int flags)
{
    return flags == 0 || flags == 4 || flags == 5 || flags == 6;
}

bool hasMadridValues(const _SqliteRow& row)
{
    for (int i = 17; i <= 31; ++i) {
        if (i != 29 && value(row, i).isValid())
            return true;
    }
    return false;
}

qint64 nowSince2001()
{
    return QDateTime::currentSecsSinceEpoch() - appleEpochUnixSeconds;
}

// A message by its date as stored and its text.
using MessageKey = std::pair<qint64, QString>;

MessageKey keyOf(const _SqliteRow& row)
{
    return {value(row, 2).toLongLong(), text(row, 3)};
}

// When SQLite merges pages it frees one that still holds cells it copied elsewhere, and
// free space holds old copies of rows it moved: those are live messages, not deleted ones.
QSet<MessageKey> liveMessages(IOS5MessageDb& db)
{
    db.initDb();
    QSet<MessageKey> keys;
    Sqlite3Cursor cursor = db.queryThrow("select date, text from message");
    while (cursor.moveNext())
        keys.insert({cursor.getInt64("date"), cursor.getText("text")});
    return keys;
}

} // namespace

bool ios5MessageRowFilter(const _SqliteRow& row)
{
    if (row.values.size() < smsColumns || !isReadFlag(integer(row, 16)) || !isUiFlags(integer(row, 10)))
        return false;
    return row.values.size() <= madridColumns || isReadFlag(integer(row, 29));
}

IOS5MessageRecovery::IOS5MessageRecovery(IOS5MessageDb& db, const QString& mcc) : db(db), country(mcc) {}

bool IOS5MessageRecovery::messageFromRow(const _SqliteRow& row, _RecycledMessage& m)
{
    if (row.values.size() < smsColumns)
        return false;
    m.rowid = row.rowid;
    m.replace = integer(row, 5);
    if (!isReadFlag(integer(row, 16)) || !isUiFlags(integer(row, 10)))
        return false;
    m.text = text(row, 3);
    m.service_center = text(row, 6);
    m.subject = text(row, 12);
    m.country = text(row, 13);
    bool found = false;
    const _CountryInfo c = country.countryBySn(m.country, &found);
    if (!m.country.isEmpty() && !found)
        return false;

    m.version = integer(row, 11);
    m.type = 0;
    m.handle_id = 0;
    m.is_finished = m.is_prepared = m.is_read = m.is_sent = m.was_data_detected = 1;
    m.is_delivered = m.is_emote = m.is_empty = m.is_delayed = m.is_auto_reply = m.is_system_message = 0;
    m.has_dd_results = m.is_service_message = m.is_forward = m.was_downgraded = m.is_archive = 0;
    m.cache_has_attachments = m.was_deduplicated = 0;

    // Kept in 64 bits until checked: a carved fragment may hold any number.
    qint64 date = 0;
    const int isMadrid = row.values.size() > madridColumns ? integer(row, 29) : 0;
    if (!isReadFlag(isMadrid))
        return false;
    if (isMadrid == 1) {
        if (text(row, 23) != QLatin1String("Madrid"))
            return false;
        m.guid = text(row, 20);
        m.service = QStringLiteral("iMessage");
        m.account = text(row, 24);
        m.account_guid = text(row, 32);
        m.error = integer(row, 28);
        date = value(row, 2).toLongLong();
        m.date_read = integer(row, 30);
        m.date_delivered = integer(row, 31);
        m.is_from_me = m.date_delivered > 0 ? 1 : 0;
        m.handle = c.canonicalizePhoneNumber(text(row, 18));
        const QString room = text(row, 22);
        m.chat_identifier = room.isEmpty() ? m.handle : room;
    } else {
        if (row.values.size() > madridColumns && hasMadridValues(row))
            return false;
        const QString address = text(row, 1);
        if (address.isEmpty())
            return false;
        m.guid = newMessageGuid();
        m.service = QStringLiteral("SMS");
        m.account = QStringLiteral("e:");
        m.error = 0;
        // SMS rows hold Unix seconds.
        date = value(row, 2).toLongLong() - appleEpochUnixSeconds;
        m.is_from_me = integer(row, 4) == 3 ? 1 : 0;
        m.handle = m.chat_identifier = c.canonicalizePhoneNumber(address);
    }
    if (date <= 0 || date > nowSince2001())
        return false;
    m.date = qint32(date);
    if (isMadrid == 0)
        m.date_read = m.date_delivered = m.date;
    return true;
}

void IOS5MessageRecovery::recoverDeletedMessages(ProgressForm* form)
{
    MessageRecycleDb& recycle = *db.recycleDb();
    const QSet<MessageKey> live = liveMessages(db);
    // An SMS has a new guid every time it is decoded: the store finds it again by its
    // date, direction and text.
    auto store = [&recycle](const _RecycledMessage& m) {
        if (recycle.findMessage(m) == 0)
            recycle.insertMessage(m, m.chat_identifier, m.handle, m.rowid);
    };

    DeletedRecordScan scan(db, recycle, form);
    scan.run(
        QStringLiteral("message"),
        [&](const _SqliteRow& row) {
            _RecycledMessage m;
            if (messageFromRow(row, m) && !live.contains(keyOf(row)))
                store(m);
        },
        [&](int, const DeletedRecordScan::PageCarver& carve) {
            QList<_RecycledMessage> found;
            for (const QList<_SqliteCol>& columns : messageLayouts()) {
                if (scan.cancelled())
                    return;
                const QList<_SqliteRow> rows = carve(columns, ios5MessageRowFilter);
                bool allTaken = !rows.isEmpty();
                for (const _SqliteRow& row : rows) {
                    _RecycledMessage m;
                    if (!messageFromRow(row, m))
                        allTaken = false;
                    else if (!live.contains(keyOf(row)))
                        found.append(m);
                }
                // A narrower layout would find the same records again, cut short.
                if (allTaken)
                    break;
            }
            for (const _RecycledMessage& m : std::as_const(found)) {
                if (scan.cancelled())
                    return;
                store(m);
            }
        });
}
