#include "ios/BackupTempDir.h"

#include "frame/DataFolder.h"
#include "frame/FileOps.h"
#include "ios/backup2tool.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

QString memoryFilePath()
{
    return appDataDir().absoluteFilePath(QLatin1String(backupTempMemoryName));
}

QString cacheFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
}

// The volume a folder lies on, as the kernel numbers it; empty when the folder is gone.
QByteArray volumeOf(const QString& folder)
{
    struct stat st;
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return QByteArray();
    return QByteArray::number(major(st.st_dev)) + ':' + QByteArray::number(minor(st.st_dev));
}

struct RememberedBase
{
    QString path;      // empty unless the file holds an absolute path
    QByteArray volume; // empty when written by a program that did not record it
};

// The file holds the base path, then a NUL (which no path holds) and its volume.
RememberedBase rememberedBase()
{
    QFile file(memoryFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> fields = file.readAll().split('\0');
    const QString path = QString::fromUtf8(fields.first());
    if (!path.startsWith(QLatin1Char('/')))
        return {};
    return {path, fields.size() > 1 ? fields[1] : QByteArray()};
}

void remember(const QString& base)
{
    QFile file(memoryFilePath());
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(base.toUtf8() + '\0' + volumeOf(base));
}

// The remembered base while it still stands where it was remembered, else empty.
QString standingBase(const RememberedBase& remembered)
{
    if (remembered.path.isEmpty())
        return QString();
    const QByteArray volume = volumeOf(remembered.path);
    if (volume.isEmpty() || (!remembered.volume.isEmpty() && volume != remembered.volume))
        return QString();
    if (remembered.volume.isEmpty())
        remember(remembered.path);
    return remembered.path;
}

// A component of the device's path that names a USB or MMC bus or host.
bool runsThroughRemovableBus(const QString& devicePath)
{
    for (const QString& component : devicePath.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (component.startsWith(QLatin1String("usb")) || component.startsWith(QLatin1String("mmc")))
            return true;
    }
    return false;
}

// The block device behind a device node, 0 when it is none.
quint64 blockDeviceOf(const QByteArray& node)
{
    struct stat st;
    if (::stat(node.constData(), &st) != 0 || !S_ISBLK(st.st_mode))
        return 0;
    return st.st_rdev;
}

// Creates a test folder and removes only that one: an emptied parent (a fresh cache
// folder, say) stays.
bool passesWriteTest(const QString& base)
{
    const QString test = QStringLiteral("__test%1").arg(QDateTime::currentMSecsSinceEpoch());
    QDir dir(base);
    if (!dir.mkpath(test))
        return false;
    dir.rmdir(test);
    return true;
}

BackupVolume probe(const QString& path)
{
    const bool usable = passesWriteTest(path);
    return {path, usable, usable ? disk_free_bytes(QDir(path)) : -1};
}

} // namespace

bool isFixedVolume(quint64 blockDevice, const QString& sysFolder)
{
    const QString sys = QFileInfo(sysFolder).canonicalFilePath();
    const QString link = QStringLiteral("%1/dev/block/%2:%3").arg(sysFolder).arg(major(blockDevice)).arg(minor(blockDevice));
    const QString device = QFileInfo(link).canonicalFilePath();
    if (sys.isEmpty() || !device.startsWith(sys + QLatin1Char('/')) || runsThroughRemovableBus(device.mid(sys.size())))
        return false;
    // A partition's folder lies in its whole disk's, which says whether it is removable.
    const QString disk = QFileInfo::exists(device + QStringLiteral("/partition")) ? QFileInfo(device).path() : device;
    QFile removable(disk + QStringLiteral("/removable"));
    return removable.open(QIODevice::ReadOnly) && removable.readAll().trimmed() == "0";
}

QList<BackupVolume> probeBackupVolumes(const QString& sysFolder)
{
    QList<BackupVolume> volumes{probe(cacheFolder())};
    for (const QStorageInfo& storage : QStorageInfo::mountedVolumes()) {
        if (storage.isValid() && storage.isReady() && !storage.isReadOnly() && storage.device().startsWith("/dev/")
            && isFixedVolume(blockDeviceOf(storage.device()), sysFolder))
            volumes.append(probe(storage.rootPath()));
    }
    return volumes;
}

QString chooseBackupBase(const QList<BackupVolume>& volumes, const QString& fallback)
{
    QString chosen = fallback;
    qint64 best = 0;
    for (const BackupVolume& volume : volumes) {
        // A volume whose free space is unknown is not taken for the largest.
        if (volume.usable && volume.freeBytes > best) {
            chosen = volume.path;
            best = volume.freeBytes;
        }
    }
    return chosen;
}

QDir chooseBackupTempDir()
{
    QString base = standingBase(rememberedBase());
    if (base.isEmpty()) {
        base = chooseBackupBase(probeBackupVolumes(), cacheFolder());
        remember(base);
    }
    return QDir(QDir(base).absoluteFilePath(QLatin1String(backupTempDirName)));
}

bool removeBackupTempDir()
{
    const QString root = chooseBackupTempDir().absolutePath();
    removeDirRecursively(root);
    QFile::remove(memoryFilePath());
    return !QFileInfo::exists(root) && !QFileInfo::exists(memoryFilePath());
}
