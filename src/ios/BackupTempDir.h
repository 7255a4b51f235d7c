#pragma once

#include <QDir>
#include <QList>
#include <QString>

// The temporary root that device backups go into: "__veltrominex_iosbk_temp" in the base
// with the most free space, chosen once and remembered by its path and the identity of its
// volume in "__veltrominex_iosbk_temp.path" of the data folder. The base is the user's
// cache folder, or on another fixed volume a folder of this user alone at its root (see
// userBackupBaseName), created here when chosen. A remembered base is reused without a new
// test while it exists on the volume remembered and is still the cache folder or private;
// otherwise (a stick unplugged, another volume mounted at its folder, a folder shared with
// others) the choice is made afresh. The root itself is not created here.
QDir chooseBackupTempDir();
// Deletes the root with every backup in it, and forgets the base. False when the root
// or the file remembering its base is still there afterwards.
bool removeBackupTempDir();

struct BackupVolume
{
    QString path;
    bool usable = false;     // passed the write test
    qint64 freeBytes = -1;   // -1 when unknown
    bool userFolder = false; // a folder of this user on a shared volume, made when chosen
};
// The candidates in order: the user's cache folder, then every other mounted, writable
// volume on a fixed disk, each volume once and the cache folder's not again. A volume
// other than the cache folder's stands as this user's folder at its root; it is usable
// when that folder is private (isPrivateFolder), or missing and the root passes the write
// test. sysFolder is where the kernel's device tree is mounted.
QList<BackupVolume> probeBackupVolumes(const QString& sysFolder = QStringLiteral("/sys"));
// Whether the block device of this number lies on a fixed disk, read from the kernel's
// device tree below sysFolder: the whole disk does not call itself removable, and its
// device path does not run through a USB or MMC bus (USB disk enclosures and SD card
// readers often say they are not removable).
bool isFixedVolume(quint64 blockDevice, const QString& sysFolder);
// The usable volume with the most free space, the first of equals; fallback without one.
// A user folder is created private first; one that cannot be made or is not private is
// passed over for the next best.
QString chooseBackupBase(const QList<BackupVolume>& volumes, const QString& fallback);
// Whether the path itself (no symbolic link followed) is a folder owned by this user that
// no one else may enter: another user could have made it first, to read or swap the
// backups put in it.
bool isPrivateFolder(const QString& path);
// The name of this user's folder at the root of a volume other than the cache folder's.
QString userBackupBaseName();

inline constexpr char backupTempDirName[] = "__veltrominex_iosbk_temp";
inline constexpr char backupTempMemoryName[] = "__veltrominex_iosbk_temp.path";
