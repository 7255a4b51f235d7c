#pragma once

#include <QDir>
#include <QList>
#include <QString>

// The temporary root that device backups go into: "__veltrominex_iosbk_temp" on the
// writable fixed volume with the most free space, chosen once and remembered by its base
// path and the identity of its volume in "__veltrominex_iosbk_temp.path" of the data
// folder. A remembered base is reused without a new test while it exists on the volume
// remembered; otherwise (a stick unplugged, another volume mounted at its folder) the
// choice is made afresh. The root itself is not created here.
QDir chooseBackupTempDir();
// Deletes the root with every backup in it, and forgets the base. False when the root
// or the file remembering its base is still there afterwards.
bool removeBackupTempDir();

struct BackupVolume
{
    QString path;
    bool usable = false;   // passed the write test
    qint64 freeBytes = -1; // -1 when unknown
};
// The candidates in order: the user's cache folder, then every mounted, writable volume
// on a fixed disk, each with the outcome of its write test. sysFolder is where the
// kernel's device tree is mounted.
QList<BackupVolume> probeBackupVolumes(const QString& sysFolder = QStringLiteral("/sys"));
// Whether the block device of this number lies on a fixed disk, read from the kernel's
// device tree below sysFolder: the whole disk does not call itself removable, and its
// device path does not run through a USB or MMC bus (USB disk enclosures and SD card
// readers often say they are not removable).
bool isFixedVolume(quint64 blockDevice, const QString& sysFolder);
// The usable volume with the most free space, the first of equals; fallback without one.
QString chooseBackupBase(const QList<BackupVolume>& volumes, const QString& fallback);

inline constexpr char backupTempDirName[] = "__veltrominex_iosbk_temp";
inline constexpr char backupTempMemoryName[] = "__veltrominex_iosbk_temp.path";
