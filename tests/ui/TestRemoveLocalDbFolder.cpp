#include "ui/RemoveLocalDbFolder.h"

#include "msgdb/LocalDbFixture.h"

#include "model/MsgSetPtr.h"
#include "msgdb/IOS6MessageDb.h"

#include <QTemporaryDir>
#include <QTest>

class TestRemoveLocalDbFolder : public QObject
{
    Q_OBJECT

private slots:
    void reportsWhetherTheFolderIsGone_data()
    {
        QTest::addColumn<QString>("extraEntry");
        QTest::addColumn<bool>("removed");
        QTest::newRow("only the database") << QString() << true;
        QTest::newRow("a hidden file stays") << ".keep" << false;
        QTest::newRow("a hidden folder stays") << ".cache/" << false;
    }
    void reportsWhetherTheFolderIsGone()
    {
        QFETCH(QString, extraEntry);
        QFETCH(bool, removed);
        QTemporaryDir dir;
        const QString folder = dir.filePath("Phone_Backup");
        makeLocalDb(folder);
        if (extraEntry.endsWith('/'))
            QVERIFY(QDir(folder).mkdir(extraEntry));
        else if (!extraEntry.isEmpty())
            QVERIFY(QFile(QDir(folder).filePath(extraEntry)).open(QIODevice::WriteOnly));

        IOS6MessageDb db(QDir(folder), QString(), true);
        MsgSetPtr set;
        db.chats(set);
        QVERIFY(db.isOpen());

        QCOMPARE(removeLocalDbFolder(db, folder), removed);
        QVERIFY(!db.isOpen());
        QCOMPARE(QFileInfo::exists(folder), !removed);
    }
};

QTEST_GUILESS_MAIN(TestRemoveLocalDbFolder)
#include "TestRemoveLocalDbFolder.moc"
