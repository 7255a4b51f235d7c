#include "msgdb/IOS5MessageRecovery.h"

#include "model/AppleTime.h"
#include "model/MessageRecycleDb.h"
#include "model/MsgIdentity.h"
#include "msgdb/DeletedRecordScan.h"
#include "msgdb/IOS5MessageDb.h"
#include "msgdb/MessageRowDates.h"
#include "msgdb/SqliteSerialType.h"

#include <QDateTime>
#include <QSet>

#include <algorithm>
#include <iterator>

namespace {

// The iOS 5 message table in the order of the first iOS 5 files, with its declared types.
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

// The columns every release had; the iMessage ones follow them in the fixed order.
constexpr int smsColumns = 17;
// The widths of the fixed order over the iOS 5 releases, tried widest first: each is a
// prefix of the next, so a narrower one also matches the start of a wider record.
constexpr int fixedWidths[] = {int(std::size(messageColumns)), 32, smsColumns};

// An SMS row holds nothing in these; phones write NULL.
const char* const madridValueColumns[] = {"madrid_attributedBody", "madrid_handle", "madrid_guid",
                                          "madrid_roomname", "madrid_service", "madrid_account",
                                          "madrid_attachmentInfo", "madrid_url"};
// Phones write 0 or NULL in these on an SMS row.
const char* const madridIntegerColumns[] = {"madrid_version", "madrid_type",      "madrid_flags",
                                            "madrid_error",   "madrid_date_read", "madrid_date_delivered"};

bool isReadFlag(int read)
{
    return read == 0 || read == 1;
}

bool isUiFlags(int flags)
{
    return flags == 0 || flags == 4 || flags == 5 || flags == 6;
}

qint64 nowSince2001()
{
    return QDateTime::currentSecsSinceEpoch() - appleEpochUnixSeconds;
}

// One row read through a layout; a column the layout or the row lacks reads as NULL.
class RowReader
{
public:
    RowReader(const _SqliteRow& row, const IOS5MessageLayout& layout) : row(row), layout(layout) {}

    bool has(const char* name) const
    {
        const int i = layout.indexOf(QLatin1String(name));
        return i >= 0 && i < row.values.size();
    }
    QVariant value(const char* name) const { return row.values.value(layout.indexOf(QLatin1String(name))); }
    int integer(const char* name) const { return value(name).toInt(); }
    qint64 integer64(const char* name) const { return value(name).toLongLong(); }
    QString text(const char* name) const { return value(name).toString(); }
    // Its content was overwritten: the value read is no value the record held.
    bool lost(const char* name) const { return row.lost.value(layout.indexOf(QLatin1String(name))); }
    qint64 serialType(const char* name) const { return row.serialTypes.value(layout.indexOf(QLatin1String(name))); }

    // The reader's rule, sent by the owner once delivered, on what survives of the record.
    // A delivery date whose bytes a newer cell took still shows in its serial type whether
    // it was 0; one that was not lies after 2001, as every date a phone writes.
    bool sentByOwner() const
    {
        if (lost("madrid_date_delivered"))
            return sqlite_serial_type_excludes_zero(serialType("madrid_date_delivered"));
        return appleSecondsFromStored(integer64("madrid_date_delivered")).value_or(0) > 0;
    }

    // An SMS row as phones write it: nothing in the iMessage columns but 0.
    bool hasNoMadridValues() const
    {
        for (const char* name : madridValueColumns) {
            if (value(name).isValid())
                return false;
        }
        for (const char* name : madridIntegerColumns) {
            const QVariant v = value(name);
            if (v.isValid() && (v.typeId() != QMetaType::Int || v.toInt() != 0))
                return false;
        }
        return true;
    }

private:
    const _SqliteRow& row;
    const IOS5MessageLayout& layout;
};

// A message by its date as stored and its text.
using MessageKey = std::pair<qint64, QString>;

// When SQLite merges pages it frees one that still holds cells it copied elsewhere, and
// free space and the log hold old copies of rows: those are live messages, not deleted ones.
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

// Only the row-id alias is flagged, so the carver takes NULL for any other column.
IOS5MessageLayout::IOS5MessageLayout(const QList<_SqliteCol>& columns)
{
    for (int i = 0; i < columns.size(); ++i) {
        m_columns.append(_SqliteCol(columns[i].name, columns[i].type, false, false, i == 0));
        m_index.insert(columns[i].name, i);
    }
}

IOS5MessageLayout IOS5MessageLayout::fixed(int width)
{
    QList<_SqliteCol> columns;
    for (int i = 0; i < width && i < int(std::size(messageColumns)); ++i)
        columns.append(_SqliteCol(QLatin1String(messageColumns[i].first), QLatin1String(messageColumns[i].second),
                                  false, false, false));
    return IOS5MessageLayout(columns);
}

QList<IOS5MessageLayout> IOS5MessageLayout::forTable(const QList<_SqliteCol>& columns)
{
    const auto names = [&columns](qsizetype i) { return columns[i].name; };
    bool namesSmsColumns = !columns.isEmpty() && names(0).compare(QLatin1String("ROWID"), Qt::CaseInsensitive) == 0;
    for (int i = 1; i < smsColumns && namesSmsColumns; ++i) {
        namesSmsColumns = std::any_of(columns.cbegin(), columns.cend(), [i](const _SqliteCol& c) {
            return c.name == QLatin1String(messageColumns[i].first);
        });
    }
    QList<IOS5MessageLayout> layouts;
    if (!namesSmsColumns) {
        for (int width : fixedWidths)
            layouts.append(fixed(width));
        return layouts;
    }
    layouts.append(IOS5MessageLayout(columns));
    qsizetype firstMadrid = 0;
    while (firstMadrid < columns.size() && !names(firstMadrid).startsWith(QLatin1String("madrid_"))
           && names(firstMadrid) != QLatin1String("is_madrid"))
        ++firstMadrid;
    if (firstMadrid >= smsColumns && firstMadrid < columns.size())
        layouts.append(IOS5MessageLayout(columns.first(firstMadrid)));
    return layouts;
}

IOS5MessageRecovery::IOS5MessageRecovery(IOS5MessageDb& db, const QString& mcc) : db(db), country(mcc) {}

bool IOS5MessageRecovery::messageFromRow(const _SqliteRow& row, _RecycledMessage& m)
{
    static const IOS5MessageLayout fixedOrder = IOS5MessageLayout::fixed(int(std::size(messageColumns)));
    return messageFromRow(row, fixedOrder, m);
}

bool IOS5MessageRecovery::messageFromRow(const _SqliteRow& row, const IOS5MessageLayout& layout, _RecycledMessage& m)
{
    const RowReader v(row, layout);
    if (row.values.size() < smsColumns || !v.has("read"))
        return false;
    m.rowid = row.rowid;
    m.replace = v.integer("replace");
    if (!isReadFlag(v.integer("read")) || !isUiFlags(v.integer("UIFlags")))
        return false;
    m.text = v.text("text");
    m.service_center = v.text("svc_center");
    m.subject = v.text("subject");
    m.country = v.text("country");
    bool found = false;
    const _CountryInfo c = country.countryBySn(m.country, &found);
    if (!m.country.isEmpty() && !found)
        return false;

    m.version = v.integer("version");
    m.type = 0;
    m.handle_id = 0;
    m.is_finished = m.is_prepared = m.is_read = m.is_sent = m.was_data_detected = 1;
    m.is_delivered = m.is_emote = m.is_empty = m.is_delayed = m.is_auto_reply = m.is_system_message = 0;
    m.has_dd_results = m.is_service_message = m.is_forward = m.was_downgraded = m.is_archive = 0;
    m.cache_has_attachments = m.was_deduplicated = 0;

    // Kept in 64 bits until checked: a carved fragment may hold any number.
    qint64 date = 0;
    const int isMadrid = v.has("is_madrid") ? v.integer("is_madrid") : 0;
    if (!isReadFlag(isMadrid))
        return false;
    if (isMadrid == 1) {
        if (v.text("madrid_service") != QLatin1String("Madrid"))
            return false;
        m.guid = v.text("madrid_guid");
        m.service = QStringLiteral("iMessage");
        m.account = v.text("madrid_account");
        m.account_guid = v.text("madrid_account_guid");
        m.error = v.integer("madrid_error");
        date = v.integer64("date");
        MessageRowDates dates;
        m.date_read = dates.take(v.integer64("madrid_date_read"));
        // Read as 0 when its bytes are lost: when it was delivered is then unknown.
        m.date_delivered = dates.take(v.integer64("madrid_date_delivered"));
        if (!dates.allHeld())
            return false;
        m.is_from_me = v.sentByOwner() ? 1 : 0;
        m.handle = c.canonicalizePhoneNumber(v.text("madrid_handle"));
        const QString room = v.text("madrid_roomname");
        m.chat_identifier = room.isEmpty() ? m.handle : room;
    } else {
        if (!v.hasNoMadridValues())
            return false;
        const QString address = v.text("address");
        const QString groupChat = smsChats.value(v.integer64("group_id"));
        if (address.isEmpty() && groupChat.isEmpty())
            return false;
        m.guid = newMessageGuid();
        m.service = QStringLiteral("SMS");
        m.account = QStringLiteral("e:");
        m.error = 0;
        // SMS rows hold Unix seconds.
        date = v.integer64("date") - appleEpochUnixSeconds;
        m.is_from_me = v.integer("flags") == 3 ? 1 : 0;
        // Without an address the sender is the owner, who has no handle in a group.
        m.handle = address.isEmpty() ? QString() : c.canonicalizePhoneNumber(address);
        m.chat_identifier = groupChat.isEmpty() ? m.handle : groupChat;
    }
    if (date <= 0 || date > nowSince2001())
        return false;
    m.date = qint32(date);
    if (isMadrid == 0)
        m.date_read = m.date_delivered = m.date;
    return true;
}

void IOS5MessageRecovery::recoverDeletedMessages(WorkerReport* form)
{
    MessageRecycleDb& recycle = *db.recycleDb();
    const QSet<MessageKey> live = liveMessages(db);
    smsChats = db.smsChatIdentifiers();
    const QList<IOS5MessageLayout> layouts = IOS5MessageLayout::forTable(db.messageColumns());
    const auto isLive = [&live](const _SqliteRow& row, const IOS5MessageLayout& layout) {
        const RowReader v(row, layout);
        return live.contains({v.integer64("date"), v.text("text")});
    };
    // An SMS has a new guid every time it is decoded: the store finds it again by its
    // date, direction and text. A phone writes the owner's iMessage undelivered and
    // rewrites it once delivered, so free space may hold both versions, met in any order:
    // the delivered one settles the direction, as the reader settles it, and its date
    // where that survives.
    auto store = [&recycle](const _RecycledMessage& m) {
        const qint64 stored = recycle.findMessage(m);
        if (stored == 0)
            recycle.insertMessage(m, m.chat_identifier, m.handle, m.rowid);
        else if (m.service == QLatin1String("iMessage") && m.is_from_me)
            recycle.settleDelivery(stored, m.date_delivered, m.is_from_me);
    };

    DeletedRecordScan scan(db, recycle, form);
    scan.run(
        QStringLiteral("message"),
        [&](const _SqliteRow& row, DeletedRecordScan::CellOrigin) {
            // An intact cell holds as many values as the table had columns when it was written.
            for (const IOS5MessageLayout& layout : layouts) {
                _RecycledMessage m;
                if (row.values.size() == layout.columns().size() && messageFromRow(row, layout, m)) {
                    if (!isLive(row, layout))
                        store(m);
                    return;
                }
            }
        },
        [&](int, const DeletedRecordScan::PageCarver& carve) {
            QList<_RecycledMessage> found;
            for (const IOS5MessageLayout& layout : layouts) {
                if (scan.cancelled())
                    return;
                // The carver tries the next byte after every candidate that is no message,
                // so a real record's start is never skipped over.
                const QList<_SqliteRow> rows = carve(layout.columns(), [&](const _SqliteRow& row) {
                    _RecycledMessage m;
                    return messageFromRow(row, layout, m);
                });
                for (const _SqliteRow& row : rows) {
                    _RecycledMessage m;
                    if (messageFromRow(row, layout, m) && !isLive(row, layout))
                        found.append(m);
                }
                // A narrower layout would find the same records again, cut short.
                if (!rows.isEmpty())
                    break;
            }
            for (const _RecycledMessage& m : std::as_const(found)) {
                if (scan.cancelled())
                    return;
                store(m);
            }
        });
}
