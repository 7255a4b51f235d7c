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
            QCOMPARE(db.lastDate(smsKey), std::nullopt);
            QVERIFY(QFileInfo::exists(path));
        }
        QCOMPARE(sqliteCli(path, ".schema manifest"),
                 QByteArray("CREATE TABLE manifest (file_name VARCHAR PRIMARY KEY, last_date INTEGER NOT NULL);"));
    }

    void storesOneDatePerFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("manifest.db");
        {
            BackupCacheDb db(path);
            db.setLastDate(smsKey.toUpper(), 1400000000);
            QCOMPARE(db.lastDate(smsKey), 1400000000); // names match without regard to case
            db.setLastDate(smsKey, 1400000000);
            db.setLastDate(smsKey, 4300000000); // after 2106 in 32 bits
            QCOMPARE(db.lastDate(smsKey.toUpper()), 4300000000);
            db.setLastDate("other", 0);
            QCOMPARE(db.lastDate("other"), 0); // a stored 0 is no missing row
            QCOMPARE(db.lastDate("missing"), std::nullopt);
        }
        QCOMPARE(sqliteCli(path, "select lower(file_name), last_date from manifest order by 1"),
                 "3d0d7e5fb2ce288813306e4d4636395e047a3d28|4300000000\nother|0");

        BackupCacheDb db(path);
        db.remove("other");
        QCOMPARE(db.lastDate("other"), std::nullopt);
    }

    void writesReachTheFileOnlyWhenDestroyed()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("manifest.db");
        auto db = std::make_unique<BackupCacheDb>(path);
        db->setLastDate(smsKey, 5);
        QCOMPARE(sqliteCli(path, "select count(*) from manifest"), "0");
        db.reset();
        QCOMPARE(sqliteCli(path, "select count(*) from manifest"), "1");
    }

    void rollbackDropsTheWritesSinceOpening()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("manifest.db");
        BackupCacheDb(path).setLastDate("kept", 1);
        {
            BackupCacheDb db(path);
            db.setLastDate("kept", 2);
            db.setLastDate("new", 3);
            db.rollback();
            QCOMPARE(db.lastDate("kept"), 1);
            QCOMPARE(db.lastDate("new"), std::nullopt);
            db.setLastDate("after", 4); // usable again, in a new transaction
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
        db.setLastDate(smsKey, 5);
        QCOMPARE(db.lastDate(smsKey), std::nullopt);
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
