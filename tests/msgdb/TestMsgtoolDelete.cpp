#include "msgdb/LocalDbFixture.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

class TestMsgtoolDelete : public QObject
{
    Q_OBJECT

private slots:
    void deletes_data();
    void deletes();
    void refusedArguments_data();
    void refusedArguments();
};

void TestMsgtoolDelete::deletes_data()
{
    QTest::addColumn<QStringList>("selection");
    QTest::addColumn<int>("deleted");
    QTest::addColumn<QByteArray>("left"); // texts of the messages left, and the chats left
    QTest::newRow("a whole chat") << QStringList{"--chat", "1"} << 3 << QByteArray("four\nSMS;-;+447700900123");
    QTest::newRow("two messages") << QStringList{"--messages", "1,3"} << 2
                                  << QByteArray("two\nfour\nSMS;-;+14155550101\nSMS;-;+447700900123");
}

void TestMsgtoolDelete::deletes()
{
    QFETCH(QStringList, selection);
    QTemporaryDir dir;
    makeLocalDb(dir.path());

    const CliResult r = msgtool(QStringList{"delete", dir.path()} + selection);
    QVERIFY2(r.exitCode == 0, r.err.constData());
    QFETCH(int, deleted);
    QCOMPARE(QJsonDocument::fromJson(r.out).object(), QJsonObject({{"deleted", deleted}}));
    // In English, as the window says it.
    QCOMPARE(r.err, QString("information: Successfully Deleted %1 SMS.\n").arg(deleted).toUtf8());
    QTEST(sqliteCli(smsDbPathIn(dir.path()), "select text from message order by rowid; select guid from chat order by rowid"),
          "left");
}

void TestMsgtoolDelete::refusedArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("unknown message") << QStringList{"--messages", "1,99"} << 1;
    QTest::newRow("unknown chat") << QStringList{"--chat", "9"} << 1;
    QTest::newRow("not a row id") << QStringList{"--messages", "1,x"} << 2;
    QTest::newRow("no selection") << QStringList{"--all"} << 2;
}

void TestMsgtoolDelete::refusedArguments()
{
    QFETCH(QStringList, arguments);
    QTemporaryDir dir;
    makeLocalDb(dir.path());
    const QByteArray before = dumpDb(dir.path());

    const CliResult r = msgtool(QStringList{"delete", dir.path()} + arguments);
    QTEST(r.exitCode, "exitCode");
    QVERIFY(r.err.startsWith("msgtool: "));
    QCOMPARE(dumpDb(dir.path()), before);
}

QTEST_GUILESS_MAIN(TestMsgtoolDelete)
#include "TestMsgtoolDelete.moc"
