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

private:
    DialogFrontEnd frontEnd{nullptr};
};

QTEST_MAIN(TestSaveIntoLocalDb)
#include "TestSaveIntoLocalDb.moc"
