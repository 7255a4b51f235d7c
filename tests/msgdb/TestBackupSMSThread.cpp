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
    void savingTwiceAddsNoCopy();
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
    QCOMPARE(report.successes, QStringList{QStringLiteral("IDS_SUC_BACKUP_%1_SMS").arg(count)});
    QVERIFY(QFileInfo(smsDbPathIn(target)).isFile());
    QTEST(sqliteCli(smsDbPathIn(target), "select text from message order by rowid"), "texts");
    QVERIFY(writableByOthers(target));
}

void TestBackupSMSThread::savingTwiceAddsNoCopy()
{
    QTemporaryDir dir;
    ThreeMessages messages;
    QByteArray afterFirst;
    for (int round = 0; round < 2; ++round) {
        RecordingReport report;
        BackupSMSThread worker(messages.list, QDir(dir.path()), QString(), &report, nullptr);
        QCOMPARE(report.run(worker).result, WorkerOutcome::Succeeded);
        QCOMPARE(report.successes, QStringList{"IDS_SUC_BACKUP_3_SMS"});
        if (round == 0)
            afterFirst = dumpDb(dir.path());
    }
    QCOMPARE(dumpDb(dir.path()), afterFirst);
    QCOMPARE(sqliteCli(smsDbPathIn(dir.path()), "select count(*) from message"), "3");
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
