#include "msgdb/LocalDbUpdateThread.h"

#include "msgdb/DeviceFixture.h"
#include "support/RecordingReport.h"

#include "frame/DataFolder.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {

// Checks a converted database against the rows of the old-format fixture, computing
// the expected values on its own.
constexpr char checkConverted[] = R"(
import hashlib, re, sqlite3, struct, sys
sys.path.insert(0, sys.argv[2])
import old_localdb
def canonical(address):
    return address.lower() if re.search('[a-zA-Z@]', address) else re.sub('[^0-9+]', '', address)
expected = []
for address, text, person, date, is_send in old_localdb.ROWS:
    address, text, date, from_me = canonical(address), text or '', date - 978307200, 1 if is_send else 0
    logic_hash = hashlib.md5(address.encode() + struct.pack('<i', date) + bytes([from_me]) + text.encode()).hexdigest()
    g = hashlib.md5(logic_hash.encode()).hexdigest().upper()
    guid = '-'.join([g[:8], g[8:12], g[12:16], g[16:20], g[20:]])
    expected.append((text, date, date, date, from_me, 1, 1, 1, 1, 1, 0, 0, 10, 'SMS', 'e:', guid, logic_hash,
                     address, 'SMS;-;' + address, address))
db = sqlite3.connect(sys.argv[1])
got = db.execute('select m.text, m.date, m.date_read, m.date_delivered, m.is_from_me, m.is_sent, m.is_read, '
                 'm.is_finished, m.is_prepared, m.was_data_detected, m.is_delivered, m.item_type, m.version, '
                 'm.service, m.account, m.guid, m.logic_hash, h.id, c.guid, c.chat_identifier from message m '
                 'join chat_message_join j on j.message_id = m.rowid join chat c on c.rowid = j.chat_id '
                 'join handle h on h.rowid = m.handle_id order by m.date').fetchall()
assert got == expected, (got, expected)
names = {}
for address, _, person, _, _ in old_localdb.ROWS:
    names.setdefault(canonical(address), person)
chats = db.execute('select c.guid, c.service_name, c.style, c.state, c.account_login, h.id, h.service, h._ct_name '
                   'from chat c join chat_handle_join j on j.chat_id = c.rowid join handle h on h.rowid = j.handle_id '
                   'order by c.guid').fetchall()
assert chats == [('SMS;-;' + a, 'SMS', 45, 3, 'E:', a, 'SMS', names[a]) for a in sorted(names)], chats
)";

QString localDbs()
{
    return localDatabasesDir().absolutePath();
}

bool makeOldDb(const QString& path, bool withView = true)
{
    const CliResult r = runCli("python3", QStringList{FIXTURES_DIR "/msgdb/old_localdb.py", path} +
                                              (withView ? QStringList() : QStringList{"--no-view"}));
    return r.exitCode == 0;
}

QByteArray messagesIn(const QString& folder)
{
    return sqliteCli(smsDbPathIn(folder), "select count(*) from message");
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// Every file below the folder with its content's hash.
QStringList tree(const QString& folder)
{
    QStringList entries;
    QDirIterator it(folder, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        entries << QDir(folder).relativeFilePath(path) + ' ' + fileSha256(path).toHex();
    }
    entries.sort();
    return entries;
}

struct Conversion
{
    WorkerOutcome outcome;
    QList<ReportedProgress> steps;
    QStringList successes;
};

Conversion runConversion()
{
    RecordingReport report;
    LocalDbUpdateThread worker(&report, nullptr);
    const WorkerOutcome outcome = report.run(worker);
    return {outcome, report.progress, report.successes};
}

const QString success = QStringLiteral("IDS_LOCALDB_UPDATE_SUC_RESTART_REFRESH");

} // namespace

class TestLocalDbUpdateThread : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void convertsTextsDatesAndGuids();
    void reportsEachStep();
    void leavesOtherFilesAlone_data();
    void leavesOtherFilesAlone();
    void failedFileIsConvertedAgainWithoutDuplicates();
    void failedRenameEndsTheRun();
};

void TestLocalDbUpdateThread::init()
{
    QDir(localDbs()).removeRecursively();
    QVERIFY(QDir(localDbs()).exists());
}

void TestLocalDbUpdateThread::convertsTextsDatesAndGuids()
{
    QVERIFY(makeOldDb(localDbs() + "/old.db"));
    QVERIFY(makeOldDb(localDbs() + "/other"));

    const CliResult r = msgtool({"convert"});
    QVERIFY2(r.exitCode == 0, r.err.constData());
    QCOMPARE(QJsonDocument::fromJson(r.out).object(), QJsonObject({{"converted", QJsonArray{"old.db", "other"}}}));

    QCOMPARE(QDir(localDbs()).entryList(QDir::Files), QStringList());
    QCOMPARE(QDir(localDbs()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList({"old.db", "other"}));
    for (const QString& name : QStringList{"old.db", "other"}) {
        const CliResult checked =
            python(checkConverted, {smsDbPathIn(localDbs() + '/' + name), FIXTURES_DIR "/msgdb"});
        QVERIFY2(checked.exitCode == 0, checked.err.constData());
    }
}

void TestLocalDbUpdateThread::reportsEachStep()
{
    QVERIFY(makeOldDb(localDbs() + "/old.db"));
    const Conversion run = runConversion();
    QCOMPARE(run.outcome.result, WorkerOutcome::Succeeded);
    const QString status = QStringLiteral("IDS_UPDATING_LOCALDB_old.db");
    QCOMPARE(run.steps, QList<ReportedProgress>({{status, 0, ""},
                                                 {"", 25, "SMS: 1/4"},
                                                 {"", 50, "SMS: 2/4"},
                                                 {"", 75, "SMS: 3/4"},
                                                 {"", 100, "SMS: 4/4"}}));
    QCOMPARE(run.successes, QStringList{success});
}

void TestLocalDbUpdateThread::leavesOtherFilesAlone_data()
{
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<QStringList>("files");
    QTest::newRow("empty folder") << QStringList() << QStringList();
    QTest::newRow("database folders only") << QStringList{"mine", "mine/file-relay"} << QStringList{"mine/file-relay/sms.db"};
    QTest::newRow("text and SQLite side files") << QStringList()
                                                << QStringList{"notes.txt", "old.db-wal", "old.db-journal", "short"};
}

void TestLocalDbUpdateThread::leavesOtherFilesAlone()
{
    QFETCH(QStringList, folders);
    QFETCH(QStringList, files);
    for (const QString& folder : folders)
        QVERIFY(QDir(localDbs()).mkpath(folder));
    for (const QString& file : files)
        QVERIFY(writeFile(localDbs() + '/' + file, file == "short" ? "SQLite" : "not a database: " + file.toUtf8()));
    const QStringList before = tree(localDbs());

    const Conversion run = runConversion();

    QCOMPARE(run.outcome.result, WorkerOutcome::Succeeded);
    QCOMPARE(run.successes, QStringList{success});
    QCOMPARE(tree(localDbs()), before);
}

void TestLocalDbUpdateThread::failedFileIsConvertedAgainWithoutDuplicates()
{
    const QString target = localDbs() + "/old.db";
    QVERIFY(makeOldDb(target, false));

    Conversion run = runConversion();
    QCOMPARE(run.outcome.result, WorkerOutcome::Failed);
    QVERIFY2(run.outcome.error.contains("view_sms"), qPrintable(run.outcome.error));
    QCOMPARE(QDir(localDbs()).entryList(QDir::Files), QStringList{"old.db.__tmp"});
    QCOMPARE(messagesIn(target), "0");

    // The next start takes the leftover as it is.
    QCOMPARE(runCli("sqlite3", {target + ".__tmp", "create view view_sms as select * from sms"}).exitCode, 0);
    run = runConversion();
    QCOMPARE(run.outcome.result, WorkerOutcome::Succeeded);
    QCOMPARE(QDir(localDbs()).entryList(QDir::Files), QStringList());
    QCOMPARE(messagesIn(target), "4");

    // The same content once more, under a leftover name in capitals.
    QVERIFY(makeOldDb(target + ".__TMP"));
    run = runConversion();
    QCOMPARE(run.outcome.result, WorkerOutcome::Succeeded);
    QCOMPARE(QDir(localDbs()).entryList(QDir::Files), QStringList());
    QCOMPARE(QDir(localDbs()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"old.db"});
    QCOMPARE(messagesIn(target), "4");
}

void TestLocalDbUpdateThread::failedRenameEndsTheRun()
{
    QVERIFY(makeOldDb(localDbs() + "/a.db"));
    QVERIFY(QDir(localDbs()).mkdir("a.db.__tmp"));
    QVERIFY(makeOldDb(localDbs() + "/b.db"));

    const Conversion run = runConversion();

    QCOMPARE(run.outcome.result, WorkerOutcome::Failed);
    QCOMPARE(run.outcome.error, QStringLiteral("can not rename %1/a.db.").arg(localDbs()));
    QCOMPARE(QDir(localDbs()).entryList(QDir::Files), QStringList({"a.db", "b.db"}));
    QCOMPARE(QDir(localDbs()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"a.db.__tmp"});
}

QTEST_GUILESS_MAIN(TestLocalDbUpdateThread)
#include "TestLocalDbUpdateThread.moc"
