// Reading messages of a local database through IOS6MessageDb::messages against the
// sqlite3 shell selecting the same joined rows (less its start-up), in paired runs. Bounds: at most 2x the
// shell at 100,000 messages; the message set below 1 KB per message beyond the texts;
// the ratio at the larger size (argument, 1,000,000 by default) at most 1.5x the ratio
// at 10,000. Exits 1 when a bound is missed, 2 when the run itself fails.
#include "BenchSupport.h"
#include "MessageDbFill.h"

#include "msgdb/IOS6MessageDb.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>

#include <malloc.h>

namespace {

constexpr int acceptanceSize = 100000;
constexpr double allowedRatio = 2.0;
constexpr double allowedBytesPerMessage = 1024;
// A local database of that many messages, in its own folder below root.
QString filledFolder(const QTemporaryDir& root, int messages)
{
    const QString folder = root.filePath(QString::number(messages));
    IOS6MessageDb created{QDir(folder), QString(), true};
    created.initDb();
    const QString path = created.databasePath();
    created.close();
    return fillMessageDb(path, messages) ? folder : QString();
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
            return timeMs([&] { ok = runShell({path, joinedMessagesSql}) && ok; }) - startUp;
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
