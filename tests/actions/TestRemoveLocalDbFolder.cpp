#include "actions/RemoveLocalDbFolder.h"

#include "msgdb/LocalDbFixture.h"
#include "support/FolderSnapshot.h"

#include "model/MsgSetPtr.h"
#include "msgdb/IOS6MessageDb.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

// Every entry of the folder, hidden ones included.
QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

// A local database "Phone_Backup" below a temporary local_databases, opened as its node
// holds it.
class TestRemoveLocalDbFolder : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;
    QString databases;
    QString folder;
    std::unique_ptr<IOS6MessageDb> db;

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        databases = dir->path();
        folder = dir->filePath("Phone_Backup");
        makeLocalDb(folder);
        db = std::make_unique<IOS6MessageDb>(QDir(folder), QString(), true);
        MsgSetPtr set;
        db->chats(set);
        QVERIFY(db->isOpen());
    }
    void cleanup()
    {
        setFolderRemovalSteps({});
        db.reset();
        dir.reset();
    }

    void wholeFolderGoes_data()
    {
        QTest::addColumn<QStringList>("extraEntries"); // a trailing slash makes a folder
        QTest::newRow("only the database") << QStringList();
        QTest::newRow("a hidden file") << QStringList{".keep"};
        QTest::newRow("a hidden folder with a file") << QStringList{".cache/", ".cache/x"};
        QTest::newRow("a subfolder with a file") << QStringList{"Attachments/", "Attachments/a.jpg"};
    }
    void wholeFolderGoes()
    {
        QFETCH(QStringList, extraEntries);
        for (const QString& entry : extraEntries) {
            if (entry.endsWith('/'))
                QVERIFY(QDir(folder).mkdir(entry));
            else
                QVERIFY(QFile(QDir(folder).filePath(entry)).open(QIODevice::WriteOnly));
        }

        QVERIFY(removeLocalDbFolder(*db, folder));
        QVERIFY(!db->isOpen());
        QCOMPARE(entriesOf(databases), QStringList());
    }

    void folderThatCannotBeSetAsideIsLeftWhole()
    {
        const auto before = folderSnapshot(databases);
        setFolderRemovalSteps({[](const QString&, const QString&) { return false; }, {}});

        QVERIFY(!removeLocalDbFolder(*db, folder));
        QCOMPARE(folderSnapshot(databases), before);
        // Its node reads it again.
        MsgSetPtr set;
        db->messages(set, 0);
        QCOMPARE(set.messages().size(), 4);
    }

    // The deletion stops after removing the database: the rest goes at the next start,
    // and only what a deletion set aside or a save into a new database left unfinished.
    void leftoversGoAtTheNextStart()
    {
        setFolderRemovalSteps({{}, [](const QString& path) {
                                   QFile::remove(smsDbPathIn(path));
                                   return false;
                               }});
        QVERIFY(removeLocalDbFolder(*db, folder));
        const QStringList left = entriesOf(databases);
        QCOMPARE(left.size(), 1);
        QVERIFY2(left.first().startsWith('.'), qPrintable(left.first()));

        setFolderRemovalSteps({});
        makeLocalDb(dir->filePath("Other"));
        QVERIFY(QDir(databases).mkdir(".config"));
        makeLocalDb(QDir(databases).filePath(stagedLocalDbPrefix() + "1"));
        removeFoldersSetAside(QDir(databases));
        QCOMPARE(entriesOf(databases), (QStringList{".config", "Other"}));
    }

    // A database kept elsewhere and linked in: the link goes, what it points at stays.
    void linkedFolderGoesAsALink()
    {
        db->close();
        const QString elsewhere = dir->filePath("elsewhere");
        QVERIFY(QDir(databases).rename("Phone_Backup", "elsewhere"));
        QVERIFY(QFile::link(elsewhere, folder));
        const auto target = folderSnapshot(elsewhere);

        QVERIFY(removeLocalDbFolder(*db, folder));
        QCOMPARE(entriesOf(databases), QStringList{"elsewhere"});
        QCOMPARE(folderSnapshot(elsewhere), target);
    }
};

QTEST_GUILESS_MAIN(TestRemoveLocalDbFolder)
#include "TestRemoveLocalDbFolder.moc"
