// Exporting messages into an empty local database through ExportMessagesDb against a
// plain SQLite bulk insert of the same rows (prepared once, one transaction, the same
// schema), in paired runs. Bounds: at most 3x the bulk insert at 100,000 messages; the
// ratio at the larger size (argument, 1,000,000 by default) at most 1.5x the ratio at
// 10,000. Exits 1 when a bound is missed, 2 when the run itself fails.
#include "BenchSupport.h"

#include "msgdb/ExportMessagesDb.h"

#include "model/MsgSetPtr.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>

namespace {

constexpr int chatCount = 100;
constexpr double allowedRatio = 3.0;

// chatCount one-to-one chats, messages spread over them in date order.
MsgSetPtr makeMessages(int messageCount)
{
    MsgSetPtr set;
    _MsgSet* s = set.data();
    for (int i = 1; i <= chatCount; ++i) {
        auto* handle = new _MsgHandle;
        handle->rowid = i;
        handle->id = QStringLiteral("+1415555%1").arg(i, 4, 10, QLatin1Char('0'));
        s->handles.insert(i, handle);
        auto* chat = new _MsgChat;
        chat->rowid = i;
        chat->guid = QStringLiteral("SMS;-;") + handle->id;
        chat->chat_identifier = handle->id;
        chat->handles.insert(QString::number(i), handle);
        s->chats.insert(i, chat);
    }
    for (int i = 1; i <= messageCount; ++i) {
        auto* m = new _MsgMessage;
        m->rowid = i;
        m->seq = i;
        m->guid = QStringLiteral("GUID-%1").arg(i, 8, 10, QLatin1Char('0'));
        m->text = QStringLiteral("Message number %1 with some ordinary text in it").arg(i);
        m->service = QStringLiteral("SMS");
        m->date = 400000000 + i;
        m->is_from_me = i & 1;
        m->chat = s->chats.value(1 + i % chatCount);
        m->handle = m->is_from_me ? nullptr : s->handles.value(1 + i % chatCount);
        s->messages.insert(i, m);
    }
    return set;
}

QList<const _MsgMessage*> inOrder(const MsgSetPtr& set)
{
    QList<const _MsgMessage*> list;
    for (int i = 1; i <= set.data()->messages.size(); ++i)
        list.append(set.data()->messages.value(i));
    return list;
}

bool check(int rc, sqlite3* db)
{
    if (rc == SQLITE_OK || rc == SQLITE_DONE)
        return true;
    std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
    return false;
}

// The rows the exporter writes, with the row ids known beforehand and nothing looked up.
bool bulkInsert(const QString& path, const QList<const _MsgMessage*>& messages)
{
    sqlite3* db = nullptr;
    bool ok = check(sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr), db);
    ok = ok && check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
    sqlite3_stmt* chat = nullptr;
    sqlite3_stmt* handle = nullptr;
    sqlite3_stmt* message = nullptr;
    sqlite3_stmt* join = nullptr;
    ok = ok &&
         check(sqlite3_prepare_v2(db,
                                  "insert into chat(ROWID, guid, style, state, chat_identifier, service_name, "
                                  "account_login, is_archived, group_id) values(?, ?, 45, 3, ?, 'SMS', 'E:', 0, ?)",
                                  -1, &chat, nullptr),
               db) &&
         check(sqlite3_prepare_v2(db, "insert into handle(ROWID, id, service, _ct_name, _photo) values(?, ?, 'SMS', '', '')",
                                  -1, &handle, nullptr),
               db) &&
         check(sqlite3_prepare_v2(db,
                                  "insert into message(guid, text, replace, handle_id, version, type, service, account, "
                                  "account_guid, error, date, date_read, date_delivered, is_from_me, cache_roomnames, "
                                  "logic_hash) values(?, ?, 0, ?, 10, 0, 'SMS', '', '', 0, ?, 0, 0, ?, '', ?)",
                                  -1, &message, nullptr),
               db) &&
         check(sqlite3_prepare_v2(db, "insert into chat_message_join(chat_id, message_id) values(?, ?)", -1, &join,
                                  nullptr),
               db);
    for (int i = 1; ok && i <= chatCount; ++i) {
        const QByteArray id = QStringLiteral("+1415555%1").arg(i, 4, 10, QLatin1Char('0')).toUtf8();
        const QByteArray guid = "SMS;-;" + id;
        sqlite3_bind_int64(chat, 1, i);
        sqlite3_bind_text(chat, 2, guid.constData(), int(guid.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(chat, 3, id.constData(), int(id.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(chat, 4, guid.constData(), int(guid.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(handle, 1, i);
        sqlite3_bind_text(handle, 2, id.constData(), int(id.size()), SQLITE_TRANSIENT);
        ok = check(sqlite3_step(chat), db) && check(sqlite3_step(handle), db);
        sqlite3_reset(chat);
        sqlite3_reset(handle);
    }
    for (const _MsgMessage* m : messages) {
        if (!ok)
            break;
        const QByteArray guid = m->guid.toUtf8();
        const QByteArray text = m->text.toUtf8();
        const QByteArray hash = m->logicHash().toLatin1();
        sqlite3_bind_text(message, 1, guid.constData(), int(guid.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(message, 2, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(message, 3, m->handle ? m->handle->rowid : 0);
        sqlite3_bind_int(message, 4, m->date);
        sqlite3_bind_int(message, 5, m->is_from_me);
        sqlite3_bind_text(message, 6, hash.constData(), int(hash.size()), SQLITE_TRANSIENT);
        ok = check(sqlite3_step(message), db);
        sqlite3_reset(message);
        sqlite3_bind_int64(join, 1, m->chat->rowid);
        sqlite3_bind_int64(join, 2, sqlite3_last_insert_rowid(db));
        ok = ok && check(sqlite3_step(join), db);
        sqlite3_reset(join);
    }
    for (sqlite3_stmt* statement : {chat, handle, message, join})
        sqlite3_finalize(statement);
    ok = ok && check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
    sqlite3_close(db);
    return ok;
}

QString emptyLocalDb(const QString& folder)
{
    IOS6MessageDb db{QDir(folder), QString(), true};
    db.initDb();
    return db.databasePath();
}

bool exportMessages(const QString& folder, const QList<const _MsgMessage*>& messages)
{
    try {
        ExportMessagesDb exporter{QDir(folder), QString()};
        exporter.begin();
        for (const _MsgMessage* m : messages)
            exporter.write(*m);
        exporter.end();
        return true;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "export failed: %s\n", e.what());
        return false;
    }
}

// Returns the ratio, or a negative value when a run failed.
double measure(int messageCount)
{
    const MsgSetPtr set = makeMessages(messageCount);
    const QList<const _MsgMessage*> messages = inOrder(set);
    bool ok = true;
    const PairedTimes times = pairedRuns(
        roundsFor(messageCount),
        [&] {
            QTemporaryDir dir;
            const QString path = emptyLocalDb(dir.filePath("baseline"));
            return timeMs([&] { ok = bulkInsert(path, messages) && ok; });
        },
        [&] {
            QTemporaryDir dir;
            emptyLocalDb(dir.filePath("exported"));
            return timeMs([&] { ok = exportMessages(dir.filePath("exported"), messages) && ok; });
        });
    if (!ok)
        return -1;
    printSize("export", messageCount, times);
    return times.ratio;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return checkRatioAndGrowth(QStringLiteral("export"), measure, allowedRatio, argc, argv);
}
