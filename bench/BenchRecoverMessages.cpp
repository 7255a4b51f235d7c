// Recovering the deleted half of a database's messages with `msgtool recover`, which has
// no SQLite counterpart: prints seconds per 1,000 messages of the file at 10,000 and at
// the larger size (argument, 1,000,000 by default). Bound: the larger at most 1.5x the
// smaller. Exits 1 when it is missed, 2 when a run itself fails.
#include "BenchSupport.h"
#include "MessageDbFill.h"

#include "msgdb/IOS6MessageDb.h"

#include "sqlite/Sqlite3DB.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// The local schema's triggers look for orphans in the whole message table once per
// deleted join row, which makes deleting half of a large file take hours. The recovery
// reads only the file's free space, which they do not change: they go first.
bool dropTriggers(const QString& path)
{
    try {
        Sqlite3DB db;
        db.openThrow(path, Sqlite3DB::ReadWrite);
        QStringList names;
        Sqlite3Cursor triggers = db.queryThrow("select name from sqlite_master where type = 'trigger'");
        while (triggers.moveNext())
            names.append(triggers.getText(0));
        for (const QString& name : std::as_const(names))
            db.executeThrow(QStringLiteral("DROP TRIGGER %1").arg(quoteSqlIdentifier(name)));
        return true;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dropping the triggers failed: %s\n", e.what());
        return false;
    }
}

// Every other run of 200 messages deleted, with their joins. As deleting a stretch of a
// conversation or of time does, this frees whole pages, whose records the recovery finds
// and stores.
const QString deleteHalfSql = QStringLiteral(
    "PRAGMA secure_delete=OFF;"
    "DELETE FROM chat_message_join WHERE (message_id / 200) % 2 = 0;"
    "DELETE FROM message WHERE (ROWID / 200) % 2 = 0;");

// Median seconds per 1,000 messages, or a negative value when a run failed.
double secondsPerThousand(int messages)
{
    QTemporaryDir root;
    IOS6MessageDb created{QDir(root.filePath(QStringLiteral("db"))), QString(), true};
    created.initDb();
    const QString path = created.databasePath();
    created.close();
    if (!fillMessageDb(path, messages) || !dropTriggers(path) || !runShell({path, deleteHalfSql}))
        return -1;
    std::vector<double> seconds;
    for (int round = 0; round < roundsFor(messages); ++round) {
        // A fresh program cache each time, so that no run finds an earlier run's recycle store.
        qputenv("XDG_CACHE_HOME", QFile::encodeName(root.filePath(QStringLiteral("cache%1").arg(round))));
        const ChildRun run = runChild(QStringLiteral(MSGTOOL), {QStringLiteral("recover"), path});
        if (!run.ok)
            return -1;
        seconds.push_back(run.ms / 1000 / (messages / 1000.0));
    }
    std::sort(seconds.begin(), seconds.end());
    const double median = seconds[seconds.size() / 2];
    std::printf("{\"bench\": \"recover\", \"messages\": %d, \"seconds_per_1000\": %.4f}\n", messages, median);
    std::fflush(stdout);
    return median;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const double small = secondsPerThousand(smallSize);
    const double large = secondsPerThousand(largeSize(argc, argv));
    if (small < 0 || large < 0) {
        std::fprintf(stderr, "a recovery failed\n");
        return 2;
    }
    Bounds bounds;
    bounds.check(QStringLiteral("recover seconds per 1000 messages, growth from 10000 to the larger size"),
                 large / small, allowedGrowth);
    return bounds.exitCode();
}
