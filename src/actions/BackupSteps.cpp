#include "actions/BackupSteps.h"

#include "actions/ActionFrontEnd.h"

#include "frame/ErrorMarkup.h"
#include "ios/IOSMobileBackupThread.h"
#include "ios/IOSMobileRestoreThread.h"
#include "itunes/BackupManifest.h"
#include "itunes/BackupRecovery.h"
#include "itunes/IOS6RestoreMessagesThread.h"
#include "itunes/ITunesCacheSMSThread.h"
#include "msgdb/CachedMessageDb.h"
#include "msgdb/IOS6MessageDb.h"

#include <exception>

namespace {

WorkerOutcome failed(const QString& text)
{
    return WorkerOutcome{WorkerOutcome::Failed, text};
}

// A failure outside the workers, told through the front end.
WorkerOutcome told(ActionFrontEnd& frontEnd, const std::exception& e)
{
    const QString text = errorMarkup(e);
    frontEnd.fail(text);
    return failed(text);
}

} // namespace

BackupSteps::BackupSteps(ActionFrontEnd& frontEnd)
    : frontEnd(frontEnd)
{
}

BackupSteps::~BackupSteps() = default;

WorkerOutcome BackupSteps::backUp(const IOSDevice& device, QDir& backupRoot)
{
    IOSDevice phone = device;
    const std::unique_ptr<ActionStep> step = frontEnd.newStep();
    IOSMobileBackupThread backup(&phone, &step->report());
    const WorkerOutcome outcome = step->run(backup);
    backupRoot = backup.backupDir();
    return outcome;
}

WorkerOutcome BackupSteps::openForWriting(BackupManifest& manifest,
                                          const std::optional<IOSDevice::SettingsRefusal>& encryptedRefusal)
{
    try {
        lock = lockBackupForWriting(manifest.folder);
        manifest.loadPlist();
    } catch (const std::exception& e) {
        return told(frontEnd, e);
    }
    if (manifest.isEncrypted && encryptedRefusal) {
        frontEnd.refuse(encryptedRefusal->text, encryptedRefusal->picture);
        return failed(encryptedRefusal->text);
    }
    if (manifest.isEncrypted && !frontEnd.unlock(manifest))
        return WorkerOutcome{WorkerOutcome::Cancelled, QString()};
    try {
        manifest.loadMbdb();
    } catch (const std::exception& e) {
        return told(frontEnd, e);
    }
    return WorkerOutcome{WorkerOutcome::Succeeded, QString()};
}

WorkerOutcome BackupSteps::cache(BackupManifest& manifest, const std::optional<QDir>& cacheFolder)
{
    const std::unique_ptr<ActionStep> step = frontEnd.newStep();
    const std::unique_ptr<ITunesCacheSMSThread> thread =
        cacheFolder ? std::make_unique<ITunesCacheSMSThread>(&manifest, *cacheFolder, &step->report())
                    : std::make_unique<ITunesCacheSMSThread>(&manifest, &step->report());
    thread->setBackupLock(lock);
    const WorkerOutcome outcome = step->run(*thread);
    cached = thread->cacheDir();
    return outcome;
}

QString BackupSteps::onlyIos6Refusal()
{
    return QStringLiteral("Failed to recover. Only iOS 6 or above is supported.");
}

WorkerOutcome BackupSteps::checkCached()
{
    mergeCounts = BackupMergeCounts();
    try {
        if (AbsIOSMessageDb::detectIosVersion(cached.absoluteFilePath(cachedSmsDbPath)) != 6) {
            frontEnd.refuse(onlyIos6Refusal());
            return failed(onlyIos6Refusal());
        }
        mergeCounts.messagesBefore = cachedMessageCount(cached);
    } catch (const std::exception& e) {
        return told(frontEnd, e);
    }
    return WorkerOutcome{WorkerOutcome::Succeeded, QString()};
}

WorkerOutcome BackupSteps::merge(const QString& countryCode, QList<_MsgMessage*>& messages,
                                 const BackupManifest& manifest)
{
    IOS6MessageDb cachedDb(cached, countryCode, false);
    const std::unique_ptr<ActionStep> step = frontEnd.newStep();
    IOS6RestoreMessagesThread thread(countryCode, &messages, &cachedDb, manifest.folder, &step->report());
    thread.setBackupLock(lock);
    const WorkerOutcome outcome = step->run(thread);
    mergeCounts.merged = thread.mergedCount();
    mergeCounts.skipped = thread.skippedCount();
    return outcome;
}

WorkerOutcome BackupSteps::restore(const IOSDevice& device, const QDir& backupRoot)
{
    IOSDevice phone = device;
    const std::unique_ptr<ActionStep> step = frontEnd.newStep();
    IOSMobileRestoreThread thread(&phone, backupRoot, &step->report());
    return step->run(thread);
}
