#pragma once

#include <QDir>
#include <QString>

#include <memory>
#include <stdexcept>

// Thrown when another writer, in this process or another, holds a backup.
struct BackupInUseError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// The one writer of an iTunes backup folder and its cache: an exclusive flock(2) on a
// descriptor of the folder itself, so nothing is created in the user's folder, the lock
// holds between processes whatever their data folders, and it ends when its holder dies.
// flock belongs to the open descriptor, so two holders in one process exclude each other too.
class BackupLock
{
public:
    // Retries for waitMs, then throws BackupInUseError; other failures throw std::runtime_error.
    explicit BackupLock(const QDir& backupFolder, int waitMs = defaultWaitMs);
    ~BackupLock();
    BackupLock(const BackupLock&) = delete;
    BackupLock& operator=(const BackupLock&) = delete;

    // Null when another holder has the folder.
    static std::unique_ptr<BackupLock> tryLock(const QDir& backupFolder);

    QString folderPath() const { return path; }

    static constexpr int defaultWaitMs = 5000;

private:
    BackupLock(const QString& path, int fd);

    QString path;
    int fd = -1;
};
