#pragma once

#include <QDir>
#include <QList>
#include <QString>

// The temporary root that device backups go into: "__veltrominex_iosbk_temp" on the
// writable volume with the most free space, chosen once and remembered by its base path
// in "__veltrominex_iosbk_temp.path" of the data folder. A remembered base is reused
// without a new test. The root itself is not created here.
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
// backed by a block device, each with the outcome of its write test.
QList<BackupVolume> probeBackupVolumes();
// The usable volume with the most free space, the first of equals; fallback without one.
QString chooseBackupBase(const QList<BackupVolume>& volumes, const QString& fallback);

inline constexpr char backupTempDirName[] = "__veltrominex_iosbk_temp";
inline constexpr char backupTempMemoryName[] = "__veltrominex_iosbk_temp.path";
