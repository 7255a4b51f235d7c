// Merging new messages (a tenth of the backup's) into a backup through
// IOS6RestoreMessagesThread against the sqlite3 shell rebuilding the same message table
// and joins with plain SQL copies, in the same order, in paired runs. The backup's sms.db
// is shaped as phones write it (no index on the joins by message, a trigger that looks
// them up by message); the shell writes into our own schema. Bounds: at most 3x the shell
// at 20,000, 10,000 and the larger size (argument, 1,000,000 by default) backup messages,
// and the ratio at the larger size at most 1.5x the ratio at 10,000. Exits 1 when a bound
// is missed, 2 when the run itself fails.
#include "BenchSupport.h"
#include "MessageDbFill.h"

#include "frame/MessageBox.h"
#include "frame/ProgressForm.h"
#include "itunes/BackupCacheDb.h"
#include "itunes/IOS6RestoreMessagesThread.h"
#include "itunes/MbdbFile.h"
#include "model/MsgChat.h"
#include "model/MsgHandle.h"
#include "model/MsgMessage.h"
#include "msgdb/IOS6MessageDb.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <iterator>
#include <list>
#include <optional>

namespace {

constexpr int chatCount = 100;
constexpr double allowedRatio = 3.0;
constexpr int acceptanceSize = 20000;

// Backup rows 10 seconds apart; new messages every 100 seconds, far from them in seq.
// The same rows, merged by date with plain SQL: the least any merge has to do.
const QString baselineSql = QStringLiteral(
    "BEGIN;"
    "CREATE TEMP TABLE merged AS SELECT * FROM ("
    " SELECT m.*, j.chat_id AS chat, m.ROWID AS seq FROM message m JOIN chat_message_join j ON j.message_id = m.ROWID"
    " UNION ALL"
    " SELECT NULL, 'NEW-' || k, 'New message ' || k, 0, NULL, 1 + k % %2, NULL, NULL, NULL, 10, 0, 'SMS', NULL, NULL,"
    "  0, 400000005 + 100 * k, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, NULL, 0, 0, 0, 0, 0, 0, -1,"
    "  NULL, 0, NULL, NULL, 0, 0, 0, NULL, 1 + k % %2, 1000000 + k"
    " FROM (WITH RECURSIVE n(k) AS (SELECT 1 UNION ALL SELECT k + 1 FROM n WHERE k < %1) SELECT k FROM n))"
    " ORDER BY date, seq;"
    "DELETE FROM message; DELETE FROM chat_message_join;"
    "INSERT INTO message(%3) SELECT %3 FROM merged;"
    "INSERT INTO chat_message_join(chat_id, message_id) SELECT merged.chat, message.ROWID FROM merged"
    " JOIN message USING (guid);"
    "COMMIT;");

// The backup's sms.db as phones write it: no index on the joins by message, and a trigger
// that looks up a message's chats for every join row written.
const QString phoneSchemaSql = QStringLiteral(
    "DROP INDEX chat_message_join_idx_message_id;"
    "CREATE TRIGGER update_message_roomname_cache_insert AFTER INSERT ON chat_message_join BEGIN"
    " UPDATE message SET cache_roomnames = (SELECT group_concat(c.room_name) FROM chat c"
    " INNER JOIN chat_message_join j ON c.ROWID = j.chat_id WHERE j.message_id = NEW.message_id)"
    " WHERE message.ROWID = NEW.message_id; END;");

} // namespace

// One merge and its baseline on a backup of backupCount messages set up below root.
std::optional<PairMs> mergeOnce(const QString& root, int backupCount)
{
    const int newCount = backupCount / 10;
    const QDir cache(QDir(root).filePath(QStringLiteral("cache")));
    const QDir backup(QDir(root).filePath(QStringLiteral("backup")));
    backup.mkpath(QStringLiteral("."));

    IOS6MessageDb created{cache, QString(), true};
    created.initDb();
    const QString cachedDb = created.databasePath();
    QStringList columns;
    const SqliteTableInfo messageColumns = created.tbInfo(QStringLiteral("message"));
    for (const _SqliteCol& column : messageColumns.columns()) {
        if (column.name.compare(QLatin1String("ROWID"), Qt::CaseInsensitive) != 0)
            columns.append(QLatin1Char('"') + column.name + QLatin1Char('"'));
    }
    created.close();
    const QString baselineDb = QDir(root).filePath(QStringLiteral("baseline.db"));
    if (!fillMessageDb(cachedDb, backupCount, 10) || !QFile::copy(cachedDb, baselineDb)
        || !runShell({cachedDb, phoneSchemaSql}))
        return std::nullopt;

    const QString smsDbName = backupFileHash(QStringLiteral("HomeDomain"), QStringLiteral("Library/SMS/sms.db"));
    MbdbRecord smsRecord;
    smsRecord.domain = MbdbString::fromText(QStringLiteral("HomeDomain"));
    smsRecord.path = MbdbString::fromText(QStringLiteral("Library/SMS/sms.db"));
    smsRecord.mode = 0x81A4;
    QList<MbdbRecord> records{smsRecord};
    writeMbdb(records, backup.filePath(QStringLiteral("Manifest.mbdb")));
    if (!QFile::copy(cachedDb, backup.filePath(smsDbName)))
        return std::nullopt;
    // As the cache notes it when it copies the backup's sms.db.
    BackupCacheDb(cache.filePath(QStringLiteral("manifest.db")))
        .record(smsDbName, BackupFileState::of(smsRecord, backup.filePath(smsDbName)));

    std::list<_MsgHandle> handles;
    std::list<_MsgChat> chats;
    for (int i = 1; i <= chatCount; ++i) {
        _MsgHandle& h = handles.emplace_back();
        h.id = QStringLiteral("+1415555") + QStringLiteral("%1").arg(i, 4, 10, QLatin1Char('0'));
        _MsgChat& c = chats.emplace_back();
        c.rowid = i;
        c.guid = QStringLiteral("SMS;-;%1").arg(i);
        c.chat_identifier = h.id;
        c.handles.insert(h.id, &h);
    }
    std::list<_MsgMessage> newRecords;
    QList<_MsgMessage*> messages;
    for (int k = 1; k <= newCount; ++k) {
        _MsgMessage& m = newRecords.emplace_back();
        m.guid = QStringLiteral("NEW-%1").arg(k);
        m.text = QStringLiteral("New message %1").arg(k);
        m.service = QStringLiteral("SMS");
        m.date = 400000005 + 100 * k;
        m.seq = 1000000 + k;
        m.chat = &*std::next(chats.begin(), k % chatCount);
        m.handle = &*std::next(handles.begin(), k % chatCount);
        messages.append(&m);
    }

    IOS6MessageDb database{cache, QString(), false};
    ProgressForm form(QString(), nullptr);
    IOS6RestoreMessagesThread thread(QString(), &messages, &database, backup, &form);
    const double ours = timeMs([&] {
        thread.start();
        thread.wait();
    });
    QCoreApplication::processEvents();
    if (form.result() != 1 || thread.mergedCount() != newCount) {
        std::fprintf(stderr, "the merge failed: %s\n", qUtf8Printable(form.error().value_or(QString())));
        return std::nullopt;
    }

    bool shellOk = true;
    const double shell = timeMs([&] {
        shellOk = runShell({baselineDb, baselineSql.arg(newCount).arg(chatCount).arg(columns.join(QLatin1Char(',')))});
    });
    if (!shellOk)
        return std::nullopt;
    return PairMs{shell, ours};

}

// Returns the ratio, or a negative value when a run failed.
double measure(int backupCount)
{
    bool ok = true;
    const PairedTimes times = pairedRounds(roundsFor(backupCount), [&] {
        QTemporaryDir root;
        const std::optional<PairMs> pair = mergeOnce(root.path(), backupCount);
        ok = ok && pair;
        return pair.value_or(PairMs{1, 1});
    });
    if (!ok)
        return -1;
    printSize("merge", backupCount, times);
    return times.ratio;
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    // The merge's intent record goes below the data folder: keep it out of the user's.
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("data"))));
    QApplication app(argc, argv);
    // A failure is printed, never shown in a box that waits for a click.
    setHeadlessMessageBoxes(true);
    const int sizes[] = {acceptanceSize, smallSize, largeSize(argc, argv)};
    double ratios[std::size(sizes)];
    for (size_t i = 0; i < std::size(sizes); ++i) {
        ratios[i] = measure(sizes[i]);
        if (ratios[i] < 0)
            return 2;
    }
    Bounds bounds;
    for (size_t i = 0; i < std::size(sizes); ++i)
        bounds.check(QStringLiteral("merge ratio at %1").arg(sizes[i]), ratios[i], allowedRatio);
    bounds.check(QStringLiteral("merge ratio growth from %1 to the larger size").arg(smallSize), ratios[2] / ratios[1],
                 allowedGrowth);
    return bounds.exitCode();
}
