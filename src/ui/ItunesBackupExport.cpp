#include "ui/ItunesBackupExport.h"

#include "frame/ErrorMarkup.h"
#include "frame/MessageBox.h"
#include "frame/ProgressForm.h"
#include "frame/RunWorker.h"
#include "itunes/BackupManifest.h"
#include "itunes/BackupRecovery.h"
#include "itunes/IOS6RestoreMessagesThread.h"
#include "itunes/ITunesCacheSMSThread.h"
#include "msgdb/IOS6MessageDb.h"

#include <QCoreApplication>

#include <exception>
#include <memory>

std::optional<int> exportToItunesBackup(BackupManifest& manifest, QList<_MsgMessage*> messages, QWidget* dialogParent)
{
    if (manifest.isEncrypted) {
        showWarning(QCoreApplication::translate("MainWindow", "IDS_CANT_EXPORT_ITUNES_BACKUP_IS_ENCRYPT"));
        return std::nullopt;
    }
    // One writer of the backup and its cache from reading its manifest to the end of the merge.
    std::shared_ptr<BackupLock> lock;
    try {
        lock = lockBackupForWriting(manifest.folder);
        manifest.loadMbdb();
    } catch (const std::exception& e) {
        showError(errorMarkup(e));
        return std::nullopt;
    }

    ProgressForm cacheForm(QString(), dialogParent);
    ITunesCacheSMSThread cacheThread(&manifest, &cacheForm, nullptr);
    cacheThread.setBackupLock(lock);
    if (runWorker(cacheThread, cacheForm).result != WorkerOutcome::Succeeded)
        return std::nullopt;

    IOS6MessageDb cachedDb(cacheThread.cacheDir(), QString(), false);
    ProgressForm mergeForm(QString(), dialogParent);
    IOS6RestoreMessagesThread mergeThread(QString(), &messages, &cachedDb, manifest.folder, &mergeForm, nullptr);
    mergeThread.setBackupLock(lock);
    if (runWorker(mergeThread, mergeForm).result != WorkerOutcome::Succeeded)
        return std::nullopt;
    const int added = mergeThread.mergedCount();
    showInfo(added > 0 ? QCoreApplication::translate("MainWindow", "IDS_SUC_RESTORE_%1_MESSAGES_TO_IOS").arg(added)
                       : QCoreApplication::translate("MainWindow", "IDS_ALL_MESSAGES_ALREADY_IN_ITUNES_BACKUP"));
    return added;
}
