#include "msgdb/BackupSMSThread.h"

#include "msgdb/LocalDbFixture.h"
#include "support/RecordingReport.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Three messages of one chat, handed in out of date order.
struct ThreeMessages
{
    RecordBuilder b;
    QList<_MsgMessage*> list;

    ThreeMessages()
    {
        _MsgHandle* carol = b.handle(5, "+4915112345678");
        _MsgChat* chat = b.chat(7, "SMS;-;+4915112345678", {carol});
        list = {b.message(50, chat, carol, 3000, "third"), b.message(51, chat, carol, 1000, "first"),
                b.message(52, chat, nullptr, 2000, "second")};
    }
};

} // namespace

class TestBackupSMSThread : public QObject
{
    Q_OBJECT

private slots:
    void reportsEachStep_data();
    void reportsEachStep();
    void savingAgainAddsOnlyWhatIsMissing();
    void twoSavesAtOnceEachCountTheirOwn();
    void cancelCommitsNothing_data();
    void cancelCommitsNothing();
    void errorCommitsNothing();
};

void TestBackupSMSThread::reportsEachStep_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<ReportedProgress>>("steps");
    QTest::addColumn<QByteArray>("texts"); // in row order
    const QString status = QStringLiteral("IDS_BACKING_UP_SMS");
    QTest::newRow("no message") << 0 << QList<ReportedProgress>{{status, 0, ""}} << QByteArray();
    QTest::newRow("three messages in message order") << 3
                                                     << QList<ReportedProgress>{{status, 0, ""},
                                                                                {status, 33, "SMS: 1/3"},
                                                                                {status, 66, "SMS: 2/3"},
                                                                                {status, 100, "SMS: 3/3"}}
                                                     << QByteArray("first\nsecond\nthird");
}

void TestBackupSMSThread::reportsEachStep()
{
    QFETCH(int, count);
    QTemporaryDir dir;
    const QString target = dir.filePath("new database");
    ThreeMessages messages;

    RecordingReport report;
    BackupSMSThread worker(messages.list.mid(0, count), QDir(target), QString(), &report, nullptr);
    QCOMPARE(report.run(worker).result, WorkerOutcome::Succeeded);

    QTEST(report.progress, "steps");
    QCOMPARE(report.successes, QStringList{count ? QStringLiteral("IDS_SUC_BACKUP_%1_SMS").arg(count)
                                                 : QStringLiteral("IDS_ALL_MESSAGES_ALREADY_IN_LOCAL_DB")});
    QVERIFY(QFileInfo(smsDbPathIn(target)).isFile());
    QTEST(sqliteCli(smsDbPathIn(target), "select text from message order by rowid"), "texts");
    QVERIFY(writableByOthers(target));
}

// The success text counts the messages this save added, not those handed in.
void TestBackupSMSThread::savingAgainAddsOnlyWhatIsMissing()
{
    QTemporaryDir dir;
    ThreeMessages messages;
    const QList<QList<_MsgMessage*>> saves{messages.list.mid(1, 1), messages.list, messages.list};
    const QStringList texts{"IDS_SUC_BACKUP_1_SMS", "IDS_SUC_BACKUP_2_SMS", "IDS_ALL_MESSAGES_ALREADY_IN_LOCAL_DB"};
    const QList<qint64> added{1, 2, 0};
    QByteArray afterSecond;
    for (int round = 0; round < saves.size(); ++round) {
        RecordingReport report;
        BackupSMSThread worker(saves[round], QDir(dir.path()), QString(), &report, nullptr);
        QCOMPARE(report.run(worker).result, WorkerOutcome::Succeeded);
        QCOMPARE(report.successes, QStringList{texts[round]});
        QCOMPARE(worker.addedCount(), added[round]);
        if (round == 1)
            afterSecond = dumpDb(dir.path());
    }
    QCOMPARE(dumpDb(dir.path()), afterSecond);
    QCOMPARE(sqliteCli(smsDbPathIn(dir.path()), "select text from message order by rowid"),
             QByteArray("first\nsecond\nthird"));
}

// Two connections write into one database at the same time: the second waits for the
// first, and each tells only the messages it added.
void TestBackupSMSThread::twoSavesAtOnceEachCountTheirOwn()
{
    QTemporaryDir dir;
    makeLocalDb(dir.path());
    RecordBuilder b;
    QList<_MsgMessage*> lists[2];
    for (int i = 0; i < 2; ++i) {
        const QString number = QStringLiteral("+4930123456%1").arg(i);
        _MsgHandle* handle = b.handle(20 + i, number);
        _MsgChat* chat = b.chat(20 + i, "SMS;-;" + number, {handle});
        for (int m = 0; m < 50; ++m)
            lists[i] << b.message(1000 * (i + 1) + m, chat, handle, 5000 + m, QStringLiteral("text %1").arg(m));
    }

    RecordingReport reports[2];
    BackupSMSThread first(lists[0], QDir(dir.path()), QString(), &reports[0], nullptr);
    BackupSMSThread second(lists[1], QDir(dir.path()), QString(), &reports[1], nullptr);
    JoinedThread firstThread(first);
    JoinedThread secondThread(second);
    firstThread.start();
    secondThread.start();
    firstThread.join();
    secondThread.join();

    for (const RecordingReport& report : reports) {
        QCOMPARE(report.errors, QStringList());
        QCOMPARE(report.successes, QStringList{"IDS_SUC_BACKUP_50_SMS"});
    }
    QCOMPARE(first.addedCount(), 50);
    QCOMPARE(second.addedCount(), 50);
    QCOMPARE(sqliteCli(smsDbPathIn(dir.path()), "select count(*) from message"), QByteArray("104"));
}

void TestBackupSMSThread::cancelCommitsNothing_data()
{
    QTest::addColumn<bool>("afterFirst");
    QTest::newRow("before the first message") << false;
    QTest::newRow("after the first message") << true;
}

void TestBackupSMSThread::cancelCommitsNothing()
{
    QFETCH(bool, afterFirst);
    QTemporaryDir dir;
    makeLocalDb(dir.path());
    const QByteArray before = dumpDb(dir.path());
    ThreeMessages messages;

    RecordingReport report;
    if (afterFirst)
        report.cancelAtPercent = 1;
    else
        report.rejected = true;
    BackupSMSThread worker(messages.list, QDir(dir.path()), QString(), &report, nullptr);
    QCOMPARE(report.run(worker).result, WorkerOutcome::Cancelled);

    QCOMPARE(report.outcomeCount(), 0);
    QCOMPARE(report.progress.last().progressText, afterFirst ? "SMS: 1/3" : "");
    QVERIFY(writableByOthers(dir.path()));
    QCOMPARE(dumpDb(dir.path()), before);
}

void TestBackupSMSThread::errorCommitsNothing()
{
    QTemporaryDir dir;
    makeLocalDb(dir.path());
    const QByteArray before = dumpDb(dir.path());
    ThreeMessages messages;
    _MsgHandle* dave = messages.b.handle(6, "+14155550199");
    messages.list.append(
        messages.b.message(60, messages.b.chat(8, "MMS;-;+14155550199", {dave}, "MMS"), dave, 1500, "picture"));

    RecordingReport report;
    BackupSMSThread worker(messages.list, QDir(dir.path()), QString(), &report, nullptr);
    const WorkerOutcome outcome = report.run(worker);

    QCOMPARE(outcome.result, WorkerOutcome::Failed);
    QCOMPARE(outcome.error, "IOS6MessageDb::insertChat, invalid chat, service_name:MMS");
    QCOMPARE(report.outcomeCount(), 1);
    QVERIFY(writableByOthers(dir.path()));
    QCOMPARE(dumpDb(dir.path()), before);
}

QTEST_GUILESS_MAIN(TestBackupSMSThread)
#include "TestBackupSMSThread.moc"
