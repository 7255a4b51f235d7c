#include "msgdb/DeleteMessagesThread.h"
#include "msgdb/IOS6MessageDb.h"

#include "msgdb/LocalDbFixture.h"
#include "support/RecordingReport.h"

#include "model/SafeSort.h"
#include "model/SortPredicates.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The first `count` messages of chat 1 as the database reads them.
QList<_MsgMessage*> firstMessagesOfChat1(IOS6MessageDb& db, MsgSetPtr& set, int count)
{
    db.messages(set, 0);
    QList<_MsgMessage*> messages;
    for (_MsgMessage* message : set.messages())
        if (message->chat && message->chat->guid == QLatin1String("SMS;-;+14155550101"))
            messages.append(message);
    safeSort(messages, lessThanId64<_MsgMessage>);
    return messages.mid(0, count);
}

} // namespace

class TestDeleteMessagesThread : public QObject
{
    Q_OBJECT

private slots:
    void reportsEachStep_data();
    void reportsEachStep();
    void cancelLeavesDatabaseUnchanged_data();
    void cancelLeavesDatabaseUnchanged();
    void schemaStaysAndOrphansGo();
    void failedDeleteRollsBack();
    void unopenableDatabaseIsReported();
};

void TestDeleteMessagesThread::reportsEachStep_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<ReportedProgress>>("steps");
    QTest::addColumn<QByteArray>("left"); // messages and chats afterwards
    const QString status = QStringLiteral("IDS_DELETING_LOCAL_DB_MESSAGES");
    QTest::newRow("no message") << 0 << QList<ReportedProgress>{{status, 0, ""}} << QByteArray("4|2");
    QTest::newRow("the whole chat")
        << 3 << QList<ReportedProgress>{{status, 0, ""}, {"", 33, ""}, {"", 66, ""}, {"", 100, ""}}
        << QByteArray("1|1");
}

void TestDeleteMessagesThread::reportsEachStep()
{
    QFETCH(int, count);
    QTemporaryDir dir;
    makeLocalDb(dir.path());
    IOS6MessageDb db(QDir(dir.path()), QString(), true);
    MsgSetPtr set;
    const QList<_MsgMessage*> messages = firstMessagesOfChat1(db, set, count);

    RecordingReport report;
    DeleteMessagesThread worker(&db, &messages, &report, nullptr);
    QCOMPARE(report.run(worker).result, WorkerOutcome::Succeeded);

    QTEST(report.progress, "steps");
    QCOMPARE(report.successes, QStringList{QStringLiteral("IDS_SUC_DELETE_%1_MESSAGES").arg(count)});
    db.close();
    QTEST(sqliteCli(smsDbPathIn(dir.path()), "select (select count(*) from message), (select count(*) from chat)"),
          "left");
}

void TestDeleteMessagesThread::cancelLeavesDatabaseUnchanged_data()
{
    QTest::addColumn<bool>("afterFirst");
    QTest::newRow("before the first message") << false;
    QTest::newRow("after the first message") << true;
}

void TestDeleteMessagesThread::cancelLeavesDatabaseUnchanged()
{
    QFETCH(bool, afterFirst);
    QTemporaryDir dir;
    makeLocalDb(dir.path());
    const QByteArray before = dumpDb(dir.path());
    IOS6MessageDb db(QDir(dir.path()), QString(), true);
    MsgSetPtr set;
    const QList<_MsgMessage*> messages = firstMessagesOfChat1(db, set, 3);

    RecordingReport report;
    if (afterFirst)
        report.cancelAtPercent = 1;
    else
        report.rejected = true;
    DeleteMessagesThread worker(&db, &messages, &report, nullptr);
    QCOMPARE(report.run(worker).result, WorkerOutcome::Cancelled);

    QVERIFY(!db.isInTransaction());
    QCOMPARE(report.outcomeCount(), 0);
    QCOMPARE(report.progress.last().value, afterFirst ? 33 : 0);
    QVERIFY(writableByOthers(dir.path()));
    QCOMPARE(dumpDb(dir.path()), before);
}

// The deletion does the work of the schema's orphan trigger without it in place: the
// schema ends as it was, and a message no chat holds goes as the trigger would take it.
void TestDeleteMessagesThread::schemaStaysAndOrphansGo()
{
    QTemporaryDir dir;
    makeLocalDb(dir.path());
    const QString file = smsDbPathIn(dir.path());
    QCOMPARE(runCli("sqlite3", {file, "insert into message (guid, text) values ('ORPHAN', 'in no chat')"}).exitCode, 0);
    const QString schemaSql = QStringLiteral("select * from sqlite_master order by type, name");
    const QByteArray schema = sqliteCli(file, schemaSql);
    QVERIFY(schema.contains("CREATE TRIGGER clean_orphaned_messages"));
    IOS6MessageDb db(QDir(dir.path()), QString(), true);
    MsgSetPtr set;
    const QList<_MsgMessage*> messages = firstMessagesOfChat1(db, set, 2);
    const auto cacheSize = [&db] {
        Sqlite3Cursor size = db.queryThrow("PRAGMA cache_size");
        return size.moveNext() ? size.getInt64(0) : 0;
    };
    const qint64 connectionCache = cacheSize();

    RecordingReport report;
    DeleteMessagesThread worker(&db, &messages, &report, nullptr);
    QCOMPARE(report.run(worker).result, WorkerOutcome::Succeeded);
    QCOMPARE(cacheSize(), connectionCache);
    db.close();

    QCOMPARE(sqliteCli(file, schemaSql), schema);
    QCOMPARE(sqliteCli(file, "select group_concat(text, ',') from (select text from message order by rowid)"),
             QByteArray("three,four"));
    QCOMPARE(sqliteCli(file, "pragma integrity_check"), QByteArray("ok"));
    // The trigger is back at work.
    QCOMPARE(runCli("sqlite3", {file, "delete from chat_message_join where chat_id = 2"}).exitCode, 0);
    QCOMPARE(sqliteCli(file, "select group_concat(text) from message"), QByteArray("three"));
}

void TestDeleteMessagesThread::failedDeleteRollsBack()
{
    QTemporaryDir dir;
    makeLocalDb(dir.path());
    QCOMPARE(runCli("sqlite3", {smsDbPathIn(dir.path()), "create trigger keep_three before delete on message "
                                                          "when old.text = 'three' begin select raise(abort, "
                                                          "'message three is kept'); end;"})
                 .exitCode,
             0);
    const QByteArray before = dumpDb(dir.path());
    IOS6MessageDb db(QDir(dir.path()), QString(), true);
    MsgSetPtr set;
    const QList<_MsgMessage*> messages = firstMessagesOfChat1(db, set, 3);

    RecordingReport report;
    DeleteMessagesThread worker(&db, &messages, &report, nullptr);
    const WorkerOutcome outcome = report.run(worker);

    QCOMPARE(outcome.result, WorkerOutcome::Failed);
    QVERIFY2(outcome.error.contains("message three is kept"), qPrintable(outcome.error));
    QCOMPARE(report.outcomeCount(), 1);
    QVERIFY(!db.isInTransaction());
    QVERIFY(writableByOthers(dir.path()));
    QCOMPARE(dumpDb(dir.path()), before);
}

void TestDeleteMessagesThread::unopenableDatabaseIsReported()
{
    QTemporaryDir dir;
    makeLocalDb(dir.path());
    IOS6MessageDb source(QDir(dir.path()), QString(), true);
    MsgSetPtr set;
    const QList<_MsgMessage*> messages = firstMessagesOfChat1(source, set, 1);
    QFile blocker(dir.filePath("file"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    IOS6MessageDb unopenable(QDir(dir.filePath("file/db")), QString(), true);

    RecordingReport report;
    DeleteMessagesThread worker(&unopenable, &messages, &report, nullptr);
    const WorkerOutcome outcome = report.run(worker);

    QCOMPARE(outcome.result, WorkerOutcome::Failed);
    QVERIFY(!outcome.error.isEmpty());
    QCOMPARE(report.outcomeCount(), 1);
    QVERIFY(!QFileInfo::exists(dir.filePath("file/db")));
}

QTEST_GUILESS_MAIN(TestDeleteMessagesThread)
#include "TestDeleteMessagesThread.moc"
