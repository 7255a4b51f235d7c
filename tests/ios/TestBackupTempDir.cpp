// The temporary backup root: the choice among volumes, the memory of the chosen base and
// the removal of every device backup.

#include "ios/BackupTempDir.h"

#include "frame/DataFolder.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString memoryFile()
{
    return appDataDir().absoluteFilePath(QLatin1String(backupTempMemoryName));
}

void writeMemory(const QByteArray& bytes)
{
    QFile file(memoryFile());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray readMemory()
{
    QFile file(memoryFile());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestBackupTempDir : public QObject
{
    Q_OBJECT

private slots:
    void choice_data()
    {
        QTest::addColumn<QList<BackupVolume>>("volumes");
        QTest::addColumn<QString>("chosen");
        QTest::newRow("most free space wins")
            << QList<BackupVolume>{{"/cache", true, 10}, {"/data", true, 30}, {"/", true, 20}} << "/data";
        QTest::newRow("of equals the first")
            << QList<BackupVolume>{{"/cache", true, 30}, {"/data", true, 30}} << "/cache";
        QTest::newRow("unusable volumes are passed over")
            << QList<BackupVolume>{{"/cache", true, 5}, {"/data", false, 100}} << "/cache";
        QTest::newRow("unknown free space is not the largest")
            << QList<BackupVolume>{{"/cache", true, 5}, {"/data", true, -1}} << "/cache";
        QTest::newRow("nothing usable: the fallback")
            << QList<BackupVolume>{{"/cache", false, 5}, {"/data", false, 100}} << "/fallback";
        QTest::newRow("no volumes: the fallback") << QList<BackupVolume>{} << "/fallback";
    }
    void choice()
    {
        QFETCH(QList<BackupVolume>, volumes);
        QFETCH(QString, chosen);
        QCOMPARE(chooseBackupBase(volumes, "/fallback"), chosen);
    }

    void rememberedBaseIsReusedUntested()
    {
        writeMemory("/no/such/volume");
        QCOMPARE(chooseBackupTempDir().absolutePath(), QStringLiteral("/no/such/volume/__veltrominex_iosbk_temp"));
        QCOMPARE(readMemory(), QByteArray("/no/such/volume"));
    }

    void aBaseThatIsNoPathIsChosenAgain()
    {
        writeMemory("E:\\anything");
        const QString root = chooseBackupTempDir().absolutePath();
        QVERIFY(root.startsWith('/'));
        QVERIFY(root.endsWith("/__veltrominex_iosbk_temp"));
        // The base may be "/" itself when the root volume has the most room.
        QCOMPARE(QDir(QString::fromUtf8(readMemory())).absoluteFilePath("__veltrominex_iosbk_temp"), root);
    }

    void theCacheFolderIsAProbedCandidate()
    {
        const QList<BackupVolume> volumes = probeBackupVolumes();
        QVERIFY(!volumes.isEmpty());
        const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
        QCOMPARE(volumes.first().path, cache);
        QVERIFY(volumes.first().usable);
        QVERIFY(volumes.first().freeBytes > 0);
        // The write test removed its own folder only: the cache folder it made stays, empty.
        QCOMPARE(QDir(cache).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    }

    void removalTakesEveryBackupAndTheMemory()
    {
        QTemporaryDir base;
        writeMemory(base.path().toUtf8());
        const QDir root = chooseBackupTempDir();
        QVERIFY(QDir().mkpath(root.absoluteFilePath("PHONE/sub")));
        QFile(root.absoluteFilePath("PHONE/Status.plist")).open(QIODevice::WriteOnly);
        QVERIFY(removeBackupTempDir());
        QVERIFY(!root.exists());
        QVERIFY(QDir(base.path()).exists());
        QVERIFY(!QFile::exists(memoryFile()));
    }

    void removalSaysWhenTheRootStays()
    {
        QTemporaryDir base;
        writeMemory(base.path().toUtf8());
        const QDir root = chooseBackupTempDir();
        QVERIFY(QDir().mkpath(root.absoluteFilePath("PHONE")));
        // Hidden entries are never removed, so their folder stays.
        QFile(root.absoluteFilePath("PHONE/.keep")).open(QIODevice::WriteOnly);
        QVERIFY(!removeBackupTempDir());
        QVERIFY(root.exists());
    }
};

QTEST_GUILESS_MAIN(TestBackupTempDir)
#include "TestBackupTempDir.moc"
