#include "ios/BackupTempDir.h"

#include "frame/DataFolder.h"
#include "frame/FileOps.h"
#include "ios/backup2tool.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>

namespace {

QString memoryFilePath()
{
    return appDataDir().absoluteFilePath(QLatin1String(backupTempMemoryName));
}

QString cacheFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
}

// Empty unless the file holds an absolute path.
QString rememberedBase()
{
    QFile file(memoryFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QByteArray bytes = file.readAll();
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    const QString text = QString::fromUtf8(bytes);
    return text.startsWith(QLatin1Char('/')) ? text : QString();
}

void remember(const QString& base)
{
    QFile file(memoryFilePath());
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(base.toUtf8());
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

QList<BackupVolume> probeBackupVolumes()
{
    QList<BackupVolume> volumes{probe(cacheFolder())};
    for (const QStorageInfo& storage : QStorageInfo::mountedVolumes()) {
        if (storage.isValid() && storage.isReady() && !storage.isReadOnly() && storage.device().startsWith("/dev/"))
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
    QString base = rememberedBase();
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
