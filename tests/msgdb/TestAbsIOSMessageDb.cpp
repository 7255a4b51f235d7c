#include "msgdb/AbsIOSMessageDb.h"
#include "support/Cli.h"

#include <QDir>
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
        // 0: refused as not a message database.
        QTest::addColumn<int>("version");
        const QString five = QStringLiteral("CREATE TABLE chat(a); CREATE TABLE handle(a); "
                                            "CREATE TABLE chat_handle_join(a); CREATE TABLE message(a); "
                                            "CREATE TABLE chat_message_join(a);");
        QTest::newRow("the five iOS 6 tables") << five << 6;
        QTest::newRow("five tables and more") << five + "CREATE TABLE attachment(ROWID INTEGER PRIMARY KEY "
                                                        "AUTOINCREMENT, a);"
                                              << 6;
        QTest::newRow("iOS 5 tables")
            << "CREATE TABLE message(ROWID INTEGER PRIMARY KEY, address TEXT); "
               "CREATE TABLE msg_group(ROWID INTEGER PRIMARY KEY); CREATE TABLE group_member(group_id);"
            << 5;
        QTest::newRow("no chat_handle_join")
            << "CREATE TABLE chat(a); CREATE TABLE handle(a); CREATE TABLE message(a); "
               "CREATE TABLE chat_message_join(a);"
            << 0;
        QTest::newRow("Chat in another case")
            << "CREATE TABLE Chat(a); CREATE TABLE handle(a); CREATE TABLE chat_handle_join(a); "
               "CREATE TABLE message(a); CREATE TABLE chat_message_join(a);"
            << 0;
        QTest::newRow("a view named chat")
            << "CREATE TABLE c(a); CREATE VIEW chat AS SELECT a FROM c; CREATE TABLE handle(a); "
               "CREATE TABLE chat_handle_join(a); CREATE TABLE message(a); CREATE TABLE chat_message_join(a);"
            << 0;
        QTest::newRow("iOS 5 without group_member")
            << "CREATE TABLE message(ROWID INTEGER PRIMARY KEY); CREATE TABLE msg_group(ROWID INTEGER PRIMARY KEY);"
            << 0;
        QTest::newRow("empty database") << QString() << 0;
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
        if (version != 0) {
            QCOMPARE(AbsIOSMessageDb::detectIosVersion(path), version);
            return;
        }
        try {
            AbsIOSMessageDb::detectIosVersion(path);
            QFAIL("detected");
        } catch (const std::runtime_error& e) {
            QCOMPARE(QString::fromUtf8(e.what()), "not a message database: " + path);
        }
    }

    void unreadableFilesAreRefusedAndNothingIsCreated_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("missing") << QByteArray();
        QTest::newRow("zero bytes") << QByteArray("");
        QTest::newRow("text") << QByteArray(4096, 'x');
    }
    void unreadableFilesAreRefusedAndNothingIsCreated()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = dir.filePath("sms.db");
        if (!content.isNull()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        const QStringList before = QDir(dir.path()).entryList(QDir::Files);
        try {
            AbsIOSMessageDb::detectIosVersion(path);
            QFAIL("detected");
        } catch (const std::runtime_error& e) {
            QCOMPARE(QString::fromUtf8(e.what()), "not a message database: " + path);
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), before);
    }
};

QTEST_GUILESS_MAIN(TestAbsIOSMessageDb)
#include "TestAbsIOSMessageDb.moc"
