#pragma once

#include <QDir>
#include <QList>
#include <QString>
#include <QThread>

#include <memory>

class BackupLock;
class BackupSmsPublisher;
class IOS6MessageDb;
class WorkerReport;
struct BackupMediaFile;
struct _MsgMessage;

// Merges new messages into an iTunes backup: rebuilds a copy of the backup's sms.db (taken
// from the backup cache) with the backup's messages and the new ones in one message
// order, then puts it into the backup folder with the new attachment files and a
// rewritten Manifest.mbdb. A message whose GUID the backup holds is not written: the
// backup's row stays as it was. Reports only through the form; the caller learns the outcome
// from the report. On failure or cancel the backup folder is left as it was.
// The run holds the backup's lock: the one handed in by setBackupLock(), or its own.
// It refuses a cache whose sms.db (or log) is not the version the backup holds
// (BackupCacheDb::isCurrent), and once it has published, the cache no longer counts its
// sms.db as current.
class IOS6RestoreMessagesThread : public QThread
{
    Q_OBJECT

public:
    // Nothing is owned; messages, database and form stay untouched by the caller until
    // the thread has finished.
    IOS6RestoreMessagesThread(const QString& countryCode, QList<_MsgMessage*>* messages, IOS6MessageDb* database,
                              const QDir& backupFolder, WorkerReport* form, QObject* parent = nullptr);
    ~IOS6RestoreMessagesThread() override;

    // The lock the caller took before reading the backup, kept until the publish is done.
    void setBackupLock(std::shared_ptr<BackupLock> lock) { backupLock = std::move(lock); }

    // After the run: the messages the backup did not hold and now does (a message already
    // there counts for nothing), and those left out because their chat is unknown.
    int mergedCount() const { return merged; }
    int skippedCount() const { return skipped; }

protected:
    void run() override;

private:
    QString workingCopyPath() const;
    void checkCacheIsCurrent(const BackupSmsPublisher& publisher) const;
    void forgetCachedSmsDb() const;
    // Returns the new messages taken in that have attachments, in the caller's order.
    QList<const _MsgMessage*> rebuild(const QString& copyPath);
    void checkCancelled() const;

    QString countryCode;
    QList<_MsgMessage*>* messages;
    IOS6MessageDb* database;
    QDir backupFolder;
    WorkerReport* form;
    std::shared_ptr<BackupLock> backupLock;
    int skipped = 0;
    int merged = 0;
};
