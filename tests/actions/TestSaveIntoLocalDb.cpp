#include "actions/SaveIntoLocalDb.h"

#include "msgdb/LocalDbFixture.h"
#include "support/MessageBoxAnswerer.h"

#include "model/MsgSetPtr.h"
#include "msgdb/IOS6MessageDb.h"
#include "ui/DialogFrontEnd.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

// The four messages of the fixture database made in folder.
MsgSetPtr sourceMessages(const QString& folder)
{
    makeLocalDb(folder);
    IOS6MessageDb source(QDir(folder), QString(), true);
    MsgSetPtr set;
    source.messages(set, 0);
    return set;
}

} // namespace

class TestSaveIntoLocalDb : public QObject
{
    Q_OBJECT

private slots:
    void savingTwiceWritesNothingNew()
    {
        QTemporaryDir dir;
        const MsgSetPtr set = sourceMessages(dir.filePath("source"));

        const QString targetFolder = dir.filePath("local_databases/Phone_Backup");
        IOS6MessageDb target(QDir(targetFolder), QString(), true);
        MessageBoxAnswerer answerer;
        QVERIFY(saveIntoLocalDb(target, QDir(targetFolder), set.messages(), frontEnd));
        const QString db = smsDbPathIn(targetFolder);
        QCOMPARE(sqliteCli(db, "select count(*) from message"), QByteArray("4"));
        const QByteArray firstDump = dumpDb(targetFolder);

        // The database's own connection is open, as after its node was shown.
        MsgSetPtr shown;
        target.messages(shown, 0);
        QVERIFY(target.isOpen());
        QVERIFY(saveIntoLocalDb(target, QDir(targetFolder), set.messages(), frontEnd));
        QCOMPARE(dumpDb(targetFolder), firstDump);
        QCOMPARE(sqliteCli(db, "select count(distinct guid) || ' ' || count(*) from message"), QByteArray("4 4"));
        QCOMPARE(answerer.texts.size(), 2);
        QVERIFY(answerer.icons.first() != QMessageBox::Critical);
    }

    void emptyListStillRunsTheWorker()
    {
        QTemporaryDir dir;
        IOS6MessageDb target(QDir(dir.path()), QString(), true);
        MessageBoxAnswerer answerer;
        QVERIFY(saveIntoLocalDb(target, QDir(dir.path()), {}, frontEnd));
        QCOMPARE(sqliteCli(smsDbPathIn(dir.path()), "select count(*) from message"), QByteArray("0"));
    }

    void failureIsShownAndReported()
    {
        QTemporaryDir dir;
        const MsgSetPtr set = sourceMessages(dir.filePath("source"));
        // A folder below a file cannot be created.
        QFile blocker(dir.filePath("file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString targetFolder = dir.filePath("file/Phone_Backup");
        IOS6MessageDb target(QDir(targetFolder), QString(), true);

        MessageBoxAnswerer answerer;
        QVERIFY(!saveIntoLocalDb(target, QDir(targetFolder), set.messages(), frontEnd));
        QCOMPARE(answerer.icons, QList<QMessageBox::Icon>{QMessageBox::Critical});
    }

    // A new database is written beside and takes its name only when whole: whatever goes
    // wrong leaves the folder of local databases as it was.
    void newDatabaseIsThereOnlyWhenSaved_data()
    {
        QTest::addColumn<QString>("there"); // what holds the name before: "", "file" or "folder"
        QTest::addColumn<bool>("badMessage");
        QTest::addColumn<bool>("saved");
        QTest::newRow("saved") << "" << false << true;
        QTest::newRow("a message the database cannot hold") << "" << true << false;
        QTest::newRow("a file of that name") << "file" << false << false;
        QTest::newRow("an empty folder of that name made meanwhile") << "folder" << false << false;
    }
    void newDatabaseIsThereOnlyWhenSaved()
    {
        QFETCH(QString, there);
        QFETCH(bool, badMessage);
        QFETCH(bool, saved);
        QTemporaryDir dir;
        const MsgSetPtr set = sourceMessages(dir.filePath("source"));
        QList<_MsgMessage*> messages = set.messages();
        RecordBuilder b;
        if (badMessage) {
            _MsgHandle* dave = b.handle(6, "+14155550199");
            messages.append(b.message(60, b.chat(8, "MMS;-;+14155550199", {dave}, "MMS"), dave, 1500, "picture"));
        }
        const QDir databases(dir.filePath("local_databases"));
        QVERIFY(databases.mkpath("."));
        const QString target = databases.filePath("Phone_Backup");
        if (there == "file")
            QVERIFY(QFile(target).open(QIODevice::WriteOnly));
        if (there == "folder")
            QVERIFY(databases.mkdir("Phone_Backup"));

        MessageBoxAnswerer answerer;
        QCOMPARE(saveIntoNewLocalDb(QDir(target), messages, frontEnd), saved);

        const QStringList entries = databases.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        QCOMPARE(entries, there.isEmpty() && !saved ? QStringList() : QStringList{"Phone_Backup"});
        QCOMPARE(answerer.icons.size(), 1);
        QCOMPARE(answerer.icons.first() == QMessageBox::Critical, !saved);
        if (saved)
            QCOMPARE(sqliteCli(smsDbPathIn(target), "select count(*) from message"), QByteArray("4"));
        else if (there == "file")
            QVERIFY2(answerer.texts.first().contains("IDS_CANNOT_CREATE_LOCALDB_Phone_Backup_File exists"),
                     qPrintable(answerer.texts.first()));
        if (there == "folder")
            QVERIFY(QDir(target).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    }

private:
    DialogFrontEnd frontEnd{nullptr};
};

QTEST_MAIN(TestSaveIntoLocalDb)
#include "TestSaveIntoLocalDb.moc"
