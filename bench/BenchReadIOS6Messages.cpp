// Reading messages of a local database through IOS6MessageDb::messages against the
// sqlite3 shell selecting the same joined rows (less its start-up), in paired runs. Bounds: at most 2x the
// shell at 100,000 messages; the message set below 1 KB per message beyond the texts;
// the ratio at the larger size (argument, 1,000,000 by default) at most 1.5x the ratio
// at 10,000. Exits 1 when a bound is missed, 2 when the run itself fails.
#include "BenchSupport.h"

#include "msgdb/IOS6MessageDb.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

#include <malloc.h>

namespace {

constexpr int acceptanceSize = 100000;
constexpr int chatCount = 100;
constexpr double allowedRatio = 2.0;
constexpr double allowedBytesPerMessage = 1024;
const QString fillSql = QStringLiteral(
    "BEGIN;"
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %2) "
    "INSERT INTO handle(ROWID, id, country, service) SELECT i, '+1415555' || substr('0000' || i, -4), 'us', 'SMS' FROM n;"
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %2) "
    "INSERT INTO chat(ROWID, guid, chat_identifier, service_name, _last) "
    "SELECT i, 'SMS;-;' || i, '+1415555' || substr('0000' || i, -4), 'SMS', 0 FROM n;"
    "INSERT INTO chat_handle_join SELECT ROWID, ROWID FROM chat;"
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
    "INSERT INTO message(ROWID, guid, text, handle_id, service, date, is_from_me, logic_hash) "
    "SELECT i, 'GUID-' || substr('00000000' || i, -8), 'Message number ' || i || ' with some ordinary text in it', "
    "1 + (i % %2), 'SMS', 400000000 + i, (i & 1), hex(randomblob(16)) FROM n;"
    "INSERT INTO chat_message_join SELECT handle_id, ROWID FROM message;"
    "COMMIT;");

const QString selectSql = QStringLiteral(
    "select j.chat_id, m.* from chat_message_join as j inner join message as m on j.message_id = m.rowid "
    "and m.item_type <> 4");

bool runShell(const QStringList& args)
{
    QProcess shell;
    shell.setStandardOutputFile(QProcess::nullDevice());
    shell.start(QStringLiteral("sqlite3"), args);
    if (!shell.waitForFinished(-1) || shell.exitCode() != 0) {
        std::fprintf(stderr, "sqlite3 failed: %s\n", shell.readAllStandardError().constData());
        return false;
    }
    return true;
}

// A local database of that many messages, in its own folder below root.
QString filledFolder(const QTemporaryDir& root, int messages)
{
    const QString folder = root.filePath(QString::number(messages));
    IOS6MessageDb created{QDir(folder), QString(), true};
    created.initDb();
    const QString path = created.databasePath();
    created.close();
    return runShell({path, fillSql.arg(messages).arg(chatCount)}) ? folder : QString();
}

int loadedMessages(const QString& folder)
{
    IOS6MessageDb db{QDir(folder), QString(), false};
    MsgSetPtr set;
    db.messages(set, 0);
    return int(set.data()->messages.size());
}

// Heap bytes per message the loaded set holds beyond the UTF-16 of the message texts.
double setBytesPerMessage(const QString& folder)
{
    IOS6MessageDb db{QDir(folder), QString(), false};
    db.initDb();
    MsgSetPtr set;
    const size_t before = mallinfo2().uordblks;
    db.messages(set, 0);
    const size_t after = mallinfo2().uordblks;
    double textBytes = 0;
    for (const _MsgMessage* m : std::as_const(set.data()->messages))
        textBytes += double(m->text.size()) * sizeof(QChar);
    const double n = double(set.data()->messages.size());
    return (double(after - before) - textBytes) / n;
}

// Returns the ratio, or a negative value when a run failed.
double measure(const QTemporaryDir& root, int messages)
{
    const QString folder = filledFolder(root, messages);
    if (folder.isEmpty())
        return -1;
    const QString path = IOS6MessageDb(QDir(folder), QString(), false).databasePath();
    bool ok = true;
    // The shell's own start-up is no part of the read: a run of "select 1" measures it.
    const PairedTimes times = pairedRuns(
        roundsFor(messages),
        [&] {
            const double startUp = timeMs([&] { ok = runShell({path, QStringLiteral("select 1")}) && ok; });
            return timeMs([&] { ok = runShell({path, selectSql}) && ok; }) - startUp;
        },
        [&] { return timeMs([&] { ok = loadedMessages(folder) == messages && ok; }); });
    if (!ok) {
        std::fprintf(stderr, "a read of %d messages failed\n", messages);
        return -1;
    }
    printSize("read", messages, times);
    return times.ratio;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir root;
    Bounds bounds;
    const double acceptance = measure(root, acceptanceSize);
    const double small = measure(root, smallSize);
    const double large = measure(root, largeSize(argc, argv));
    if (acceptance < 0 || small < 0 || large < 0)
        return 2;
    bounds.check(QStringLiteral("read ratio at 100000"), acceptance, allowedRatio);
    bounds.check(QStringLiteral("set bytes per message beyond the texts at 100000"),
                 setBytesPerMessage(root.filePath(QString::number(acceptanceSize))), allowedBytesPerMessage);
    bounds.check(QStringLiteral("read ratio growth from 10000 to the larger size"), large / small, allowedGrowth);
    return bounds.exitCode();
}
