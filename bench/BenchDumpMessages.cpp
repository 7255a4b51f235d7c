// Printing every message of a database as JSON with `msgtool dump` against the sqlite3
// shell printing the same joined rows as JSON (-json), both as child processes with their
// output thrown away, in paired runs. Bounds at 100,000 messages: at most 3x the shell, and
// msgtool's peak memory below 2 KB per message. Exits 1 when a bound is missed, 2 when a
// run itself fails.
#include "BenchSupport.h"
#include "MessageDbFill.h"

#include "msgdb/IOS6MessageDb.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int messages = 100000;
constexpr double allowedRatio = 3.0;
constexpr double allowedBytesPerMessage = 2048;

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir root;
    // msgtool keeps its own files in the program's cache: here, not in the user's.
    qputenv("XDG_CACHE_HOME", QFile::encodeName(root.filePath(QStringLiteral("cache"))));
    IOS6MessageDb created{QDir(root.filePath(QStringLiteral("db"))), QString(), true};
    created.initDb();
    const QString path = created.databasePath();
    created.close();
    if (!fillMessageDb(path, messages))
        return 2;

    bool ok = true;
    long peakKb = 0;
    const PairedTimes times = pairedRounds(roundsFor(messages), [&] {
        const ChildRun shell = runChild(QStringLiteral("sqlite3"), {QStringLiteral("-json"), path, joinedMessagesSql});
        const ChildRun dump = runChild(QStringLiteral(MSGTOOL), {QStringLiteral("dump"), path});
        ok = ok && shell.ok && dump.ok;
        peakKb = std::max(peakKb, dump.peakKb);
        return PairMs{shell.ms, dump.ms};
    });
    if (!ok) {
        std::fprintf(stderr, "a dump failed\n");
        return 2;
    }
    printSize("dump", messages, times);
    Bounds bounds;
    bounds.check(QStringLiteral("dump ratio at 100000"), times.ratio, allowedRatio);
    bounds.check(QStringLiteral("dump peak bytes per message at 100000"), double(peakKb) * 1024 / messages,
                 allowedBytesPerMessage);
    return bounds.exitCode();
}
