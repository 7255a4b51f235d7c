#pragma once

#include "itunes/MbdbRecord.h"

#include <QDir>
#include <QList>
#include <QString>

#include <atomic>

struct PublishedFile;

// A file that goes into the backup's "MediaDomain" under relativePath.
struct BackupMediaFile
{
    QString localPath;
    QString relativePath;
};

// Puts a rebuilt message database and new attachment files into an iTunes backup folder
// and rewrites its manifest, all or nothing, through a PublishJournal: every new file is
// staged and flushed beside the live ones, then links keep the old sms.db and
// Manifest.mbdb under their names plus "-" and a time in seconds since 1970, and
// renames put the new ones in place. The caller holds the backup's lock throughout.
class BackupSmsPublisher
{
public:
    explicit BackupSmsPublisher(const QDir& backupFolder);

    // Reads Manifest.mbdb, refusing a foreign header or a record listed twice, and notes
    // it and the backup's sms.db as they are now. publish() does it when no one did.
    void readBackup();
    // The records read; the manifest's own keys.
    const MbdbMap& records() const { return map; }

    // now: seconds since 1970, the time the kept names carry, or the next second that
    // leaves every kept and staged name free. Returns false when cancelled is set at the
    // last moment before the first change to the live files; throws std::runtime_error
    // on failure. In both cases the folder is left exactly as it was, or the error says
    // it is inconsistent and names the kept files (InconsistentBackupError).
    bool publish(const QString& smsDbPath, const QList<BackupMediaFile>& mediaFiles, qint64 now,
                 const std::atomic<bool>& cancelled);

private:
    struct FileState
    {
        qint64 size = -1;
        QByteArray digest;
        bool operator==(const FileState& other) const { return size == other.size && digest == other.digest; }
    };
    static FileState stateOf(const QString& path);

    bool stageAndApply(class PublishJournal& journal, QList<PublishedFile>& files, const QString& smsDbPath,
                       const QList<BackupMediaFile>& mediaFiles, const std::atomic<bool>& cancelled);
    qint64 freeTime(qint64 now, const QStringList& names) const;
    void checkUnchanged() const;

    QDir folder;
    QString manifestPath;
    QString smsDbFile;
    bool haveRead = false;
    MbdbMap map;
    FileState manifestRead;
    FileState smsDbRead;
};
