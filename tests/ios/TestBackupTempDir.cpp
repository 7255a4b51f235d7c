// The temporary backup root: the choice among volumes, the memory of the chosen base and
// the removal of every device backup.

#include "ios/BackupTempDir.h"

#include "frame/DataFolder.h"

#include <QFile>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

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

// The volume as the memory file writes it.
QByteArray volumeOf(const QString& path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return QByteArray();
    return QByteArray::number(major(st.st_dev)) + ':' + QByteArray::number(minor(st.st_dev));
}

mode_t modeOf(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Lays out one kind of folder at path (inside a temporary folder); false when it cannot.
bool makeFolder(const QString& path, const QString& kind)
{
    const QByteArray name = QFile::encodeName(path);
    if (kind == "missing")
        return true;
    if (kind == "file")
        return QFile(path).open(QIODevice::WriteOnly);
    if (kind == "link to a private folder")
        return ::mkdir(QFile::encodeName(path + ".target").constData(), 0700) == 0
               && QFile::link(path + ".target", path);
    if (kind == "parent is a file")
        return QFile(QFileInfo(path).path()).open(QIODevice::WriteOnly);
    const mode_t mode = kind == "private" || kind == "another user's" ? 0700
                        : kind == "group may enter"                   ? 0750
                        : kind == "group may write"                   ? 0770
                                                                      : 0703;
    if (!QDir().mkpath(QFileInfo(path).path()) || ::mkdir(name.constData(), mode) != 0
        || ::chmod(name.constData(), mode) != 0)
        return false;
    // Only root can give a folder away; anyone else skips that case.
    return kind != "another user's" || ::chown(name.constData(), ::geteuid() + 1, -1) == 0;
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

    void userFolderIsChosenOnlyWhenPrivate_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("chosen");
        QTest::newRow("missing: made private") << "missing" << true;
        QTest::newRow("private already") << "private" << true;
        QTest::newRow("group may enter") << "group may enter" << false;
        QTest::newRow("group may write") << "group may write" << false;
        QTest::newRow("others may write") << "others may write" << false;
        QTest::newRow("another user's") << "another user's" << false;
        QTest::newRow("a link to a private folder") << "link to a private folder" << false;
        QTest::newRow("a file") << "file" << false;
        QTest::newRow("cannot be made") << "parent is a file" << false;
    }
    void userFolderIsChosenOnlyWhenPrivate()
    {
        QFETCH(QString, kind);
        QFETCH(bool, chosen);
        QTemporaryDir cache;
        QTemporaryDir volume;
        const QString folder =
            volume.filePath(kind == "parent is a file" ? "root/" + userBackupBaseName() : userBackupBaseName());
        if (!makeFolder(folder, kind))
            QSKIP("this case cannot be laid out by this user");
        const mode_t before = modeOf(folder);
        QCOMPARE(isPrivateFolder(folder), kind == "private");

        const QList<BackupVolume> volumes{{cache.path(), true, 10}, {folder, true, 20, true}};
        QCOMPARE(chooseBackupBase(volumes, "/fallback"), chosen ? folder : cache.path());
        if (chosen) {
            QVERIFY(isPrivateFolder(folder));
            QCOMPARE(modeOf(folder), mode_t(0700));
        } else {
            QCOMPARE(modeOf(folder), before); // what is there is left as it is
        }
        // A user folder that cannot be used is not the fallback either.
        QCOMPARE(chooseBackupBase({{folder, true, 20, true}}, "/fallback"), chosen ? folder : "/fallback");
    }

    void rememberedBaseIsReusedUntested()
    {
        QTemporaryDir base;
        writeMemory(base.path().toUtf8());
        QCOMPARE(chooseBackupTempDir().absolutePath(), base.filePath("__veltrominex_iosbk_temp"));
        // A memory written before volumes were remembered gets its volume added.
        const QList<QByteArray> fields = readMemory().split('\0');
        QCOMPARE(fields.size(), 2);
        QCOMPARE(fields[0], base.path().toUtf8());
        QVERIFY(fields[1].contains(':'));
        QCOMPARE(chooseBackupTempDir().absolutePath(), base.filePath("__veltrominex_iosbk_temp"));
        QCOMPARE(readMemory().split('\0'), fields);
    }

    // A base whose volume has gone is not made again on whatever is mounted there now.
    void aBaseNoLongerStandingIsChosenAgain_data()
    {
        QTest::addColumn<QByteArray>("memory");
        QTest::newRow("folder gone") << QByteArray("/no/such/volume");
        QTest::newRow("folder gone, volume remembered") << QByteArray("/no/such/volume\0" "8:1");
        QTest::newRow("another volume there now") << QByteArray("/\0" "4095:1048575");
        // What an earlier version chose: a folder every user of the volume shares.
        QTest::newRow("the root of a volume") << QByteArray("/\0" + volumeOf("/"));
    }
    void aBaseNoLongerStandingIsChosenAgain()
    {
        QFETCH(QByteArray, memory);
        writeMemory(memory);
        const QString root = chooseBackupTempDir().absolutePath();
        QVERIFY(!root.startsWith("/no/such/volume"));
        QVERIFY(root != "/__veltrominex_iosbk_temp");
        const QList<QByteArray> fields = readMemory().split('\0');
        QVERIFY(fields.size() == 2 && fields[1] != "4095:1048575");
        QCOMPARE(QDir(QString::fromUtf8(fields[0])).absoluteFilePath("__veltrominex_iosbk_temp"), root);
    }

    // A made-up device tree, laid out as the kernel's: /sys/dev/block/MAJOR:MINOR links to
    // the device's folder, a partition's folder lies in its disk's.
    void fixedVolumes_data()
    {
        QTest::addColumn<QString>("device"); // below devices/
        QTest::addColumn<bool>("partition");
        QTest::addColumn<QByteArray>("removable"); // of the whole disk
        QTest::addColumn<bool>("fixed");
        const QString sata = "pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/block/sda";
        QTest::newRow("partition of a SATA disk") << sata + "/sda1" << true << QByteArray("0\n") << true;
        QTest::newRow("whole virtual disk")
            << "pci0000:00/0000:00:02.0/virtio1/block/vda" << false << QByteArray("0\n") << true;
        QTest::newRow("NVMe partition") << "pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0/nvme0n1/nvme0n1p2" << true
                                        << QByteArray("0\n") << true;
        QTest::newRow("removable disk") << sata + "/sda1" << true << QByteArray("1\n") << false;
        QTest::newRow("USB enclosure calling itself fixed")
            << "pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb/sdb1" << true
            << QByteArray("0\n") << false;
        QTest::newRow("SD card") << "platform/soc/mmc_host/mmc0/mmc0:aaaa/block/mmcblk0/mmcblk0p1" << true
                                 << QByteArray("0\n") << false;
        QTest::newRow("unreadable attribute") << sata + "/sda1" << true << QByteArray() << false;
    }
    void fixedVolumes()
    {
        QFETCH(QString, device);
        QFETCH(bool, partition);
        QFETCH(QByteArray, removable);
        QFETCH(bool, fixed);
        QTemporaryDir sys;
        const QString deviceFolder = sys.filePath("devices/" + device);
        QVERIFY(QDir().mkpath(deviceFolder) && QDir().mkpath(sys.filePath("dev/block")));
        QString disk = deviceFolder;
        if (partition) {
            QFile(deviceFolder + "/partition").open(QIODevice::WriteOnly);
            disk = QFileInfo(deviceFolder).path();
        }
        if (!removable.isEmpty()) {
            QFile attribute(disk + "/removable");
            QVERIFY(attribute.open(QIODevice::WriteOnly));
            attribute.write(removable);
        }
        QVERIFY(QFile::link("../../devices/" + device, sys.filePath("dev/block/8:1")));
        QCOMPARE(isFixedVolume(makedev(8, 1), sys.path()), fixed);
        QVERIFY(!isFixedVolume(makedev(8, 2), sys.path())); // no such device
    }

    void aBaseThatIsNoPathIsChosenAgain()
    {
        writeMemory("E:\\anything");
        const QString root = chooseBackupTempDir().absolutePath();
        QVERIFY(root.startsWith('/'));
        QVERIFY(root.endsWith("/__veltrominex_iosbk_temp"));
        QCOMPARE(QDir(QString::fromUtf8(readMemory().split('\0').first())).absoluteFilePath("__veltrominex_iosbk_temp"),
                 root);
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
        // Each other volume once, as this user's folder at its root, and never the cache
        // folder's volume again.
        QSet<QByteArray> seen{volumeOf(cache)};
        for (const BackupVolume& volume : volumes.mid(1)) {
            QVERIFY(volume.userFolder);
            QCOMPARE(QFileInfo(volume.path).fileName(), userBackupBaseName());
            const QByteArray id = volumeOf(QFileInfo(volume.path).path());
            QVERIFY2(!seen.contains(id), qPrintable(volume.path));
            seen.insert(id);
        }
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
