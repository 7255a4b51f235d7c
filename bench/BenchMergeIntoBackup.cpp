// Merging 10,000 new messages into a backup of 100,000 through IOS6RestoreMessagesThread
// against the sqlite3 shell rebuilding the same message table and joins with plain SQL
// copies, in the same order. Prints the ratio; exits 1 above 5.
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
#include <list>

namespace {

constexpr int backupCount = 100000;
constexpr int newCount = 10000;
constexpr int chatCount = 100;
constexpr double allowedRatio = 5.0;

// Backup rows 10 seconds apart; new messages every 100 seconds, far from them in seq.
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
    "1 + (i % %2), 'SMS', 400000000 + 10 * i, (i & 1), hex(randomblob(16)) FROM n;"
    "INSERT INTO chat_message_join SELECT handle_id, ROWID FROM message;"
    "COMMIT;");

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

bool runShell(const QStringList& args)
{
    QProcess shell;
    shell.start(QStringLiteral("sqlite3"), args);
    if (!shell.waitForFinished(-1) || shell.exitCode() != 0) {
        std::fprintf(stderr, "sqlite3 failed: %s\n", shell.readAllStandardError().constData());
        return false;
    }
    return true;
}

double elapsedMs(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    // The merge's intent record goes below the data folder: keep it out of the user's.
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("data"))));
    QApplication app(argc, argv);
    // A failure is printed, never shown in a box that waits for a click.
    setHeadlessMessageBoxes(true);
    const QDir cache(dir.filePath(QStringLiteral("cache")));
    const QDir backup(dir.filePath(QStringLiteral("backup")));
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
    if (!runShell({cachedDb, fillSql.arg(backupCount).arg(chatCount)}))
        return 2;

    const QString smsDbName = backupFileHash(QStringLiteral("HomeDomain"), QStringLiteral("Library/SMS/sms.db"));
    MbdbRecord smsRecord;
    smsRecord.domain = MbdbString::fromText(QStringLiteral("HomeDomain"));
    smsRecord.path = MbdbString::fromText(QStringLiteral("Library/SMS/sms.db"));
    smsRecord.mode = 0x81A4;
    QList<MbdbRecord> records{smsRecord};
    writeMbdb(records, backup.filePath(QStringLiteral("Manifest.mbdb")));
    const QString baselineDb = dir.filePath(QStringLiteral("baseline.db"));
    if (!QFile::copy(cachedDb, backup.filePath(smsDbName)) || !QFile::copy(cachedDb, baselineDb))
        return 2;
    // As the cache notes it when it copies the backup's sms.db.
    BackupCacheDb(cache.filePath(QStringLiteral("manifest.db"))).setLastDate(smsDbName, smsRecord.modificationTime);

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
    QElapsedTimer timer;
    timer.start();
    thread.start();
    thread.wait();
    const double ours = elapsedMs(timer);
    QCoreApplication::processEvents();
    if (form.result() != 1 || thread.mergedCount() != newCount) {
        std::fprintf(stderr, "the merge failed: %s\n", qUtf8Printable(form.error().value_or(QString())));
        return 2;
    }

    timer.restart();
    if (!runShell({baselineDb, baselineSql.arg(newCount).arg(chatCount).arg(columns.join(QLatin1Char(',')))}))
        return 2;
    const double shell = elapsedMs(timer);

    const double ratio = ours / shell;
    std::printf("{\"backup_messages\": %d, \"new_messages\": %d, \"merge_ms\": %.1f, \"sqlite3_shell_ms\": %.1f, "
                "\"ratio\": %.2f}\n",
                backupCount, newCount, ours, shell, ratio);
    return ratio <= allowedRatio ? 0 : 1;
}
