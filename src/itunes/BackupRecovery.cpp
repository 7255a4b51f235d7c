#include "itunes/BackupRecovery.h"

#include "itunes/PublishJournal.h"

std::shared_ptr<BackupLock> lockBackupForWriting(const QDir& backupFolder)
{
    auto lock = std::make_shared<BackupLock>(backupFolder);
    PublishJournal(backupFolder).recover();
    return lock;
}

void recoverBackupIfIdle(const QDir& backupFolder)
{
    if (!PublishJournal::hasRecord(backupFolder))
        return;
    const std::unique_ptr<BackupLock> lock = BackupLock::tryLock(backupFolder);
    if (lock)
        PublishJournal(backupFolder).recover();
}
