#include "frame/DataFolder.h"
#include "itunes/BackupCacheDb.h"
#include "itunes/CacheFolders.h"
#include "support/Cli.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString smsKey = QStringLiteral("3d0d7e5fb2ce288813306e4d4636395e047a3d28");
}

Q_DECLARE_METATYPE(BackupFileState)

class TestBackupCacheDb : public QObject
{
    Q_OBJECT

private slots:
    void createdFromTheSchemaOnFirstUse()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("manifest.db");
        {
            BackupCacheDb db(path);
            QVERIFY(!QFileInfo::exists(path));
            QCOMPARE(db.recorded(smsKey), std::nullopt);
            QVERIFY(QFileInfo::exists(path));
        }
        QCOMPARE(sqliteCli(path, ".schema manifest"),
                 QByteArray("CREATE TABLE manifest (file_name VARCHAR PRIMARY KEY, last_date INTEGER NOT NULL, "
                            "size INTEGER, digest TEXT);"));
    }

    void storesOneStatePerFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("manifest.db");
        const BackupFileState first{1400000000, 3, "aa"};
        const BackupFileState later{4300000000, 5, "bb"}; // after 2106 in 32 bits
        {
            BackupCacheDb db(path);
            db.record(smsKey.toUpper(), first);
            QCOMPARE(db.recorded(smsKey), first); // names match without regard to case
            db.record(smsKey, first);
            db.record(smsKey, later);
            QCOMPARE(db.recorded(smsKey.toUpper()), later);
            db.record("other", {});
            QCOMPARE(db.recorded("other"), BackupFileState()); // a stored 0 is no missing row
            QCOMPARE(db.recorded("missing"), std::nullopt);
        }
        QCOMPARE(sqliteCli(path, "select lower(file_name), last_date, size, digest from manifest order by 1"),
                 "3d0d7e5fb2ce288813306e4d4636395e047a3d28|4300000000|5|bb\nother|0|0|");

        BackupCacheDb db(path);
        db.remove("other");
        QCOMPARE(db.recorded("other"), std::nullopt);
    }

    // The one rule by which the cache and the merge trust a cached copy.
    void currentOnlyWhenEveryFactMatches_data()
    {
        QTest::addColumn<BackupFileState>("inBackup");
        QTest::addColumn<bool>("current");
        QTest::newRow("same state") << BackupFileState{1400000000, 3, "aa"} << true;
        QTest::newRow("other time") << BackupFileState{1400000001, 3, "aa"} << false;
        QTest::newRow("other size") << BackupFileState{1400000000, 4, "aa"} << false;
        QTest::newRow("same second and size, other content") << BackupFileState{1400000000, 3, "bb"} << false;
        QTest::newRow("stored file unreadable") << BackupFileState{1400000000, 3, ""} << false;
    }
    void currentOnlyWhenEveryFactMatches()
    {
        QFETCH(BackupFileState, inBackup);
        QFETCH(bool, current);
        QTemporaryDir dir;
        BackupCacheDb db(dir.filePath("manifest.db"));
        QVERIFY(!db.isCurrent(smsKey, inBackup)); // nothing recorded yet
        db.record(smsKey, {1400000000, 3, "aa"});
        QCOMPARE(db.isCurrent(smsKey, inBackup), current);
        db.record(smsKey, {1400000000, 3, ""});
        QVERIFY(!db.isCurrent(smsKey, {1400000000, 3, ""})); // an unknown digest proves nothing
    }

    // A file written by a version that recorded only the time: its rows count as stale, and
    // an older version can still read and write the file once it has the new columns.
    void fileWithTimesOnlyGainsTheNewColumns()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("manifest.db");
        sqliteCli(path, "CREATE TABLE manifest (file_name VARCHAR PRIMARY KEY, last_date INTEGER NOT NULL);"
                        "INSERT INTO manifest VALUES ('" + smsKey.toLatin1() + "', 1400000000);");
        {
            BackupCacheDb db(path);
            QCOMPARE(db.recorded(smsKey), (BackupFileState{1400000000, -1, ""}));
            QVERIFY(!db.isCurrent(smsKey, {1400000000, 3, "aa"}));
            db.record(smsKey, {1400000000, 3, "aa"});
        }
        QCOMPARE(sqliteCli(path, "select last_date from manifest where file_name like '" + smsKey.toLatin1() + "';"
                                 "insert into manifest(file_name,last_date) values('old',5);"
                                 "update manifest set last_date=6 where file_name like 'old';"
                                 "select size, digest from manifest order by file_name"),
                 "1400000000\n3|aa\n|");
    }

    void writesReachTheFileOnlyWhenDestroyed()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("manifest.db");
        auto db = std::make_unique<BackupCacheDb>(path);
        db->record(smsKey, {5, 1, "aa"});
        QCOMPARE(sqliteCli(path, "select count(*) from manifest"), "0");
        db.reset();
        QCOMPARE(sqliteCli(path, "select count(*) from manifest"), "1");
    }

    void rollbackDropsTheWritesSinceOpening()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("manifest.db");
        BackupCacheDb(path).record("kept", {1, 1, "aa"});
        {
            BackupCacheDb db(path);
            db.record("kept", {2, 1, "aa"});
            db.record("new", {3, 1, "aa"});
            db.rollback();
            QCOMPARE(db.recorded("kept"), (BackupFileState{1, 1, "aa"}));
            QCOMPARE(db.recorded("new"), std::nullopt);
            db.record("after", {4, 1, "aa"}); // usable again, in a new transaction
        }
        QCOMPARE(sqliteCli(path, "select file_name, last_date from manifest order by 1"), "after|4\nkept|1");
    }

    void failuresReadAsNothingCached_data()
    {
        QTest::addColumn<QString>("relativePath");
        QTest::newRow("path is a folder") << "folder";
        QTest::newRow("parent is a file") << "file/manifest.db";
        QTest::newRow("not a database") << "file";
    }
    void failuresReadAsNothingCached()
    {
        QFETCH(QString, relativePath);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("folder"));
        QFile file(dir.filePath("file"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(4096, 'x')) == 4096);
        file.close();

        BackupCacheDb db(dir.filePath(relativePath));
        db.record(smsKey, {5, 1, "aa"});
        QCOMPARE(db.recorded(smsKey), std::nullopt);
        QVERIFY(!db.isCurrent(smsKey, {5, 1, "aa"}));
        db.remove(smsKey);
        db.rollback();
    }

    void cacheFoldersLieInTheDataFolderUncreated()
    {
        const QDir data = appDataDir();
        QCOMPARE(dataCacheDir().absolutePath(), data.absoluteFilePath("cache"));
        QCOMPARE(itunesCacheDir().absolutePath(), data.absoluteFilePath("itunes_cache"));
        QVERIFY(!QFileInfo::exists(data.absoluteFilePath("cache")));
        QVERIFY(!QFileInfo::exists(data.absoluteFilePath("itunes_cache")));
    }
};

QTEST_GUILESS_MAIN(TestBackupCacheDb)
#include "TestBackupCacheDb.moc"
