#pragma once

#include "itunes/BackupCacheDb.h"
#include "itunes/WrittenPaths.h"

#include <QDir>
#include <QSet>
#include <QStringList>
#include <QThread>

#include <memory>

class BackupFileNode;
class BackupLock;
class BackupManifest;
class WorkerReport;

// Copies the "Library/SMS" and "Library/AddressBook" folders of a loaded (and, when
// encrypted, unlocked) backup into a cache folder laid out like a file_relay download:
// "file-relay/var/mobile/Library/SMS/sms.db" and so on, with "manifest.db" beside
// "file-relay". A file is copied unless its copy is there and the cache database recorded
// for it the state the backup holds now (BackupCacheDb::isCurrent). A database travels
// with its "-wal" and "-shm" files. Reports through the form; a run that fails or is
// cancelled takes back the files, folders and records it wrote, and nothing else in the
// folder.
// The manifest and the form belong to the caller, who leaves the manifest alone while
// the thread runs and destroys the thread object afterwards. The run holds the backup's
// lock: the one handed in by setBackupLock(), or its own. A record whose name changes under
// cleaning, holds a NUL or a control character, or lands on a cache file another record
// took is skipped, so that no record can overwrite another's cached copy.
class ITunesCacheSMSThread : public QThread
{
    Q_OBJECT

public:
    // The cache folder is the backup's folder below "itunes_cache" in the data folder.
    ITunesCacheSMSThread(BackupManifest* manifest, WorkerReport* form, QObject* parent = nullptr);
    ITunesCacheSMSThread(BackupManifest* manifest, const QDir& cacheFolder, WorkerReport* form,
                         QObject* parent = nullptr);
    ~ITunesCacheSMSThread() override;

    QDir cacheDir() const { return cacheFolder; }
    // The lock the caller took before reading the backup's manifest.
    void setBackupLock(std::shared_ptr<BackupLock> lock) { backupLock = std::move(lock); }
    // Paths relative to the cache folder of the files the last run copied, in the order
    // copied; empty after a run that failed or was cancelled. Read after the run.
    QStringList copiedFiles() const;

protected:
    void run() override;

private:
    // A file of the backup, where its copy goes, and its state in the backup.
    struct CachedCopy
    {
        const BackupFileNode* node;
        QString destPath;
        BackupFileState inBackup;
    };

    void cacheBackupDir(const BackupFileNode& node, const QDir& folder, const QString& name);
    void cacheFile(const BackupFileNode& node, const QDir& folder);
    bool isCurrent(const CachedCopy& file);
    void copyFile(const CachedCopy& file);
    QString storedPath(const BackupFileNode& node) const;
    bool backupHolds(const BackupFileNode& node) const;
    bool takeCachePath(const BackupFileNode& node, const QString& destPath);
    void takeBackRun();

    BackupManifest* manifest;
    WorkerReport* form;
    // Declared before the cache database, which must be destroyed (and saved) first.
    QDir cacheFolder;
    BackupCacheDb cacheDb;
    WrittenPaths written;
    std::shared_ptr<BackupLock> backupLock;
    // Cache files some record of this run maps to.
    QSet<QString> takenPaths;
    bool cacheDbExisted = false;
};
