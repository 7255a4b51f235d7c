#include "itunes/BackupLock.h"

#include "BackupFixture.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

class TestBackupLock : public QObject
{
    Q_OBJECT

private slots:
    void secondHolderWaitsThenIsRefused_data()
    {
        QTest::addColumn<bool>("throughLink");
        QTest::newRow("same path") << false;
        QTest::newRow("through a symbolic link") << true;
    }

    // flock belongs to the open descriptor: a second holder in the same process waits
    // like one in another process would, whatever path it names the folder by, and the
    // folder gets no file of the lock's.
    void secondHolderWaitsThenIsRefused()
    {
        QFETCH(bool, throughLink);
        QTemporaryDir dir;
        QTemporaryDir other;
        const QString secondPath = throughLink ? other.filePath("link") : dir.path();
        QVERIFY(!throughLink || QFile::link(dir.path(), secondPath));
        const auto before = folderSnapshot(dir.path());
        {
            const BackupLock first{QDir(dir.path())};
            QVERIFY(!BackupLock::tryLock(QDir(secondPath)));
            QElapsedTimer waited;
            waited.start();
            try {
                const BackupLock second(QDir(secondPath), 300);
                QFAIL("a second holder");
            } catch (const BackupInUseError& e) {
                QVERIFY2(QString::fromUtf8(e.what()).contains("is in use"), e.what());
            }
            QVERIFY(waited.elapsed() >= 300);
            QCOMPARE(folderSnapshot(dir.path()), before);
        }
        QVERIFY(BackupLock::tryLock(QDir(dir.path())));
    }

    void missingFolderIsAnError()
    {
        QTemporaryDir dir;
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, BackupLock(QDir(dir.filePath("missing"))));
    }
};

QTEST_GUILESS_MAIN(TestBackupLock)
#include "TestBackupLock.moc"
