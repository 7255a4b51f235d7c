#include "ui/TransferToIPhone.h"

#include "ui/IPhoneActionFrontEnd.h"

#include "frame/ErrorMarkup.h"
#include "ios/BackupToolMessages.h"
#include "ios/IOSMobileBackupThread.h"
#include "ios/IOSMobileRestoreThread.h"
#include "itunes/BackupManifest.h"
#include "itunes/BackupRecovery.h"
#include "itunes/IOS6RestoreMessagesThread.h"
#include "itunes/ITunesCacheSMSThread.h"
#include "msgdb/IOS6MessageDb.h"

#include <QCoreApplication>

#include <optional>

namespace {

WorkerOutcome failed(const QString& text)
{
    return WorkerOutcome{WorkerOutcome::Failed, text};
}

WorkerOutcome refused(IPhoneActionFrontEnd& frontEnd, const QString& text, const QString& picture = QString())
{
    frontEnd.refuse(text, picture);
    return failed(text);
}

WorkerOutcome cancelled()
{
    return WorkerOutcome{WorkerOutcome::Cancelled, QString()};
}

QString mainWindowText(const char* key)
{
    return QCoreApplication::translate("MainWindow", key);
}

} // namespace

TransferToIPhone::TransferToIPhone(const IOSDevice& target, QSharedPointer<AbsMessageDb> targetDb,
                                   const MsgSetPtr& source, const QList<_MsgMessage*>& messages)
    : target(target)
    , targetDb(std::move(targetDb))
    , source(source)
    , messages(messages)
{
}

QString TransferToIPhone::onlyIos6Refusal()
{
    return QStringLiteral("Failed to recover. Only iOS 6 or above is supported.");
}

QString TransferToIPhone::targetRefusal() const
{
    // A saved virtual iPhone has no handle: its "backup" would be its own folder.
    const QString deviceRefusal = deviceBackupRefusal(target);
    if (!deviceRefusal.isEmpty())
        return deviceRefusal;
    auto* iosDb = dynamic_cast<AbsIOSMessageDb*>(targetDb.data());
    if (!iosDb || iosDb->iosVersion() != 6)
        return onlyIos6Refusal();
    return QString();
}

WorkerOutcome TransferToIPhone::run(IPhoneActionFrontEnd& frontEnd)
{
    merged = 0;
    skipped = 0;
    const QString refusal = targetRefusal();
    if (!refusal.isEmpty())
        return refused(frontEnd, refusal);
    if (const std::optional<IOSDevice::SettingsRefusal> settings = target.backupSettingsRefusal(true, true))
        return refused(frontEnd, settings->text, settings->picture);
    if (!target.productType.startsWith(QLatin1String("iPhone"), Qt::CaseInsensitive)
        && !frontEnd.ask(QStringLiteral("You can transfer iMessage only to an iPad/iPod. Want to continue?")))
        return cancelled();
    if (!frontEnd.ask(mainWindowText("IDS_RESTORE_IOS_TIPS_FIND_MY_IPHONE_MUST_OFF")))
        return cancelled();

    const std::unique_ptr<ActionStep> backupStep = frontEnd.newStep();
    IOSMobileBackupThread backup(&target, &backupStep->report());
    WorkerOutcome outcome = backupStep->run(backup);
    if (outcome.result != WorkerOutcome::Succeeded)
        return outcome;

    const std::unique_ptr<ActionStep> cacheStep = frontEnd.newStep();
    const QString backupFolder = backup.backupDir().absoluteFilePath(target.uniqueDeviceId);
    BackupManifest manifest(backupFolder);
    // One writer of the backup from reading its manifest until it has been restored.
    std::shared_ptr<BackupLock> lock;
    try {
        lock = lockBackupForWriting(QDir(backupFolder));
        manifest.loadPlist();
        if (!manifest.isEncrypted)
            manifest.loadMbdb();
    } catch (const std::exception& e) {
        const QString text = errorMarkup(e);
        frontEnd.fail(text);
        return failed(text);
    }
    // The phone may have begun to encrypt its backups after the settings were read.
    if (manifest.isEncrypted)
        return refused(frontEnd, IOSDevice::encryptedBackupRefusal().text, IOSDevice::encryptedBackupRefusal().picture);
    ITunesCacheSMSThread cache(&manifest, &cacheStep->report());
    cache.setBackupLock(lock);
    outcome = cacheStep->run(cache);
    if (outcome.result != WorkerOutcome::Succeeded)
        return outcome;

    IOS6MessageDb cachedDb(cache.cacheDir(), target.countryCode, false);
    const std::unique_ptr<ActionStep> mergeStep = frontEnd.newStep();
    IOS6RestoreMessagesThread merge(target.countryCode, &messages, &cachedDb, manifest.folder, &mergeStep->report());
    merge.setBackupLock(lock);
    outcome = mergeStep->run(merge);
    merged = merge.mergedCount();
    skipped = merge.skippedCount();
    if (outcome.result != WorkerOutcome::Succeeded)
        return outcome;

    const std::unique_ptr<ActionStep> restoreStep = frontEnd.newStep();
    IOSMobileRestoreThread restore(&target, backup.backupDir(), &restoreStep->report());
    outcome = restoreStep->run(restore);
    if (outcome.result != WorkerOutcome::Succeeded)
        return outcome;
    frontEnd.inform(merged > 0 ? mainWindowText("IDS_SUC_RESTORE_%1_MESSAGES_TO_IOS").arg(merged)
                               : mainWindowText("IDS_ALL_MESSAGES_ALREADY_ON_IOS"));
    return outcome;
}
