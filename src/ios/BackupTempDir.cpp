#include "ios/BackupTempDir.h"

#include "frame/DataFolder.h"
#include "frame/FileOps.h"
#include "ios/IosLog.h"
#include "ios/backup2tool.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>
#include <QStorageInfo>

#include <cerrno>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

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

// The remembered base while it still stands where it was remembered, and is still the
// cache folder or a private one (a volume's root remembered by an earlier version is
// shared by everyone), else empty.
QString standingBase(const RememberedBase& remembered)
{
    if (remembered.path.isEmpty())
        return QString();
    const QByteArray volume = volumeOf(remembered.path);
    if (volume.isEmpty() || (!remembered.volume.isEmpty() && volume != remembered.volume))
        return QString();
    if (QDir(remembered.path) != QDir(cacheFolder()) && !isPrivateFolder(remembered.path))
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

// A volume shared with others stands as this user's folder at its root. Probing makes no
// such folder: only the volume chosen gets one.
BackupVolume probeUserFolder(const QString& volumeRoot)
{
    const QString folder = QDir(volumeRoot).absoluteFilePath(userBackupBaseName());
    struct stat st;
    const bool exists = ::lstat(QFile::encodeName(folder).constData(), &st) == 0;
    const bool usable = exists ? isPrivateFolder(folder) && passesWriteTest(folder) : passesWriteTest(volumeRoot);
    return {folder, usable, usable ? disk_free_bytes(QDir(volumeRoot)) : -1, true};
}

// mkdir leaves a folder that is already there as it is, so whatever is there is checked.
bool claimPrivateFolder(const QString& path)
{
    if (::mkdir(QFile::encodeName(path).constData(), S_IRWXU) != 0 && errno != EEXIST)
        return false;
    if (isPrivateFolder(path))
        return true;
    qCWarning(lcIos).noquote() << "iPhone backup: not a private folder of this user, passed over:" << path;
    return false;
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

bool isPrivateFolder(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid()
           && (st.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

QString userBackupBaseName()
{
    return QStringLiteral("__veltrominex_iosbk_%1").arg(::geteuid());
}

QList<BackupVolume> probeBackupVolumes(const QString& sysFolder)
{
    const QString cache = cacheFolder();
    QList<BackupVolume> volumes{probe(cache)};
    // Free space read twice from one volume differs by whatever was written meanwhile: a
    // volume counted twice would win or lose at random.
    QSet<QByteArray> seen{volumeOf(cache)};
    for (const QStorageInfo& storage : QStorageInfo::mountedVolumes()) {
        if (!storage.isValid() || !storage.isReady() || storage.isReadOnly() || !storage.device().startsWith("/dev/")
            || !isFixedVolume(blockDeviceOf(storage.device()), sysFolder))
            continue;
        const QByteArray volume = volumeOf(storage.rootPath());
        if (volume.isEmpty() || seen.contains(volume))
            continue;
        seen.insert(volume);
        volumes.append(probeUserFolder(storage.rootPath()));
    }
    return volumes;
}

QString chooseBackupBase(const QList<BackupVolume>& volumes, const QString& fallback)
{
    QList<BackupVolume> left = volumes;
    for (;;) {
        int best = -1;
        qint64 bestFree = 0;
        for (int i = 0; i < left.size(); ++i) {
            // A volume whose free space is unknown is not taken for the largest.
            if (left[i].usable && left[i].freeBytes > bestFree) {
                best = i;
                bestFree = left[i].freeBytes;
            }
        }
        if (best < 0)
            return fallback;
        if (!left[best].userFolder || claimPrivateFolder(left[best].path))
            return left[best].path;
        left[best].usable = false;
    }
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
