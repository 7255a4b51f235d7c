#pragma once

#include <QDir>
#include <QList>
#include <QString>

#include <atomic>

// A file that goes into the backup's "MediaDomain" under relativePath.
struct BackupMediaFile
{
    QString localPath;
    QString relativePath;
};

// Puts a rebuilt message database and new attachment files into an iTunes backup folder
// and rewrites its manifest, all or nothing: every new file is written and flushed beside
// the live ones first, and renames alone then replace them. The previous sms.db and
// Manifest.mbdb stay under their names plus "-" and a time in seconds since 1970.
class BackupSmsPublisher
{
public:
    explicit BackupSmsPublisher(const QDir& backupFolder);

    // now: seconds since 1970, the time the kept names carry, or the next second that
    // leaves every kept name free. Returns false when cancelled is set at the last moment
    // before the first rename; throws std::runtime_error on failure. In both cases the
    // folder is left exactly as it was.
    bool publish(const QString& smsDbPath, const QList<BackupMediaFile>& mediaFiles, qint64 now,
                 const std::atomic<bool>& cancelled);

private:
    bool publishStaged(const QString& smsDbPath, const QList<BackupMediaFile>& mediaFiles, qint64 now,
                       const std::atomic<bool>& cancelled);
    qint64 freeTime(qint64 now) const;
    QString stage(const QString& from, const QString& to, const QString& reportedPath);
    void removeCreated();

    QDir folder;
    QString manifestPath;
    // Files this publish created, removed again unless it completes.
    QStringList created;
};
