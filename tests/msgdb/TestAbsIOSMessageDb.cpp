#include "msgdb/AbsIOSMessageDb.h"
#include "support/Cli.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

class TestAbsIOSMessageDb : public QObject
{
    Q_OBJECT

private slots:
    void detectIosVersion_data()
    {
        QTest::addColumn<QString>("schema");
        QTest::addColumn<int>("version");
        const QString five = QStringLiteral("CREATE TABLE chat(a); CREATE TABLE handle(a); "
                                            "CREATE TABLE chat_handle_join(a); CREATE TABLE message(a); "
                                            "CREATE TABLE chat_message_join(a);");
        QTest::newRow("the five iOS 6 tables") << five << 6;
        QTest::newRow("five tables and more") << five + "CREATE TABLE attachment(ROWID INTEGER PRIMARY KEY "
                                                        "AUTOINCREMENT, a);"
                                              << 6;
        QTest::newRow("no chat_handle_join")
            << "CREATE TABLE chat(a); CREATE TABLE handle(a); CREATE TABLE message(a); "
               "CREATE TABLE chat_message_join(a);"
            << 5;
        QTest::newRow("Chat in another case")
            << "CREATE TABLE Chat(a); CREATE TABLE handle(a); CREATE TABLE chat_handle_join(a); "
               "CREATE TABLE message(a); CREATE TABLE chat_message_join(a);"
            << 5;
        QTest::newRow("a view named chat")
            << "CREATE TABLE c(a); CREATE VIEW chat AS SELECT a FROM c; CREATE TABLE handle(a); "
               "CREATE TABLE chat_handle_join(a); CREATE TABLE message(a); CREATE TABLE chat_message_join(a);"
            << 5;
        QTest::newRow("iOS 5 tables") << "CREATE TABLE message(ROWID INTEGER PRIMARY KEY, address TEXT); "
                                         "CREATE TABLE msg_group(ROWID INTEGER PRIMARY KEY);"
                                      << 5;
        QTest::newRow("empty database") << QString() << 5;
    }
    void detectIosVersion()
    {
        QFETCH(QString, schema);
        QFETCH(int, version);
        QTemporaryDir dir;
        const QString path = dir.filePath("sms.db");
        const CliResult made = python("import sqlite3, sys\n"
                                      "db = sqlite3.connect(sys.argv[1]); db.executescript(sys.argv[2]); db.close()",
                                      {path, schema});
        QCOMPARE(made.exitCode, 0);
        QCOMPARE(AbsIOSMessageDb::detectIosVersion(path), version);
    }

    void unreadableFileThrowsAndCreatesNothing()
    {
        QTemporaryDir dir;
        const QString missing = dir.filePath("missing.db");
        QVERIFY_THROWS_EXCEPTION(std::exception, AbsIOSMessageDb::detectIosVersion(missing));
        QVERIFY(!QFileInfo::exists(missing));

        const QString text = dir.filePath("text.db");
        QFile file(text);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x'));
        file.close();
        QVERIFY_THROWS_EXCEPTION(std::exception, AbsIOSMessageDb::detectIosVersion(text));
    }
};

QTEST_GUILESS_MAIN(TestAbsIOSMessageDb)
#include "TestAbsIOSMessageDb.moc"
