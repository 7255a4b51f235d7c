#include "actions/TransferToIPhone.h"

#include "actions/ActionFrontEnd.h"
#include "actions/BackupSteps.h"

#include "ios/BackupToolMessages.h"
#include "itunes/BackupManifest.h"
#include "msgdb/AbsIOSMessageDb.h"

#include <QCoreApplication>

#include <optional>

namespace {

WorkerOutcome failed(const QString& text)
{
    return WorkerOutcome{WorkerOutcome::Failed, text};
}

WorkerOutcome refused(ActionFrontEnd& frontEnd, const QString& text, const QString& picture = QString())
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

QString TransferToIPhone::targetRefusal() const
{
    // A saved virtual iPhone has no handle: its "backup" would be its own folder.
    const QString deviceRefusal = deviceBackupRefusal(target);
    if (!deviceRefusal.isEmpty())
        return deviceRefusal;
    auto* iosDb = dynamic_cast<AbsIOSMessageDb*>(targetDb.data());
    if (!iosDb || iosDb->iosVersion() != 6)
        return BackupSteps::onlyIos6Refusal();
    return QString();
}

WorkerOutcome TransferToIPhone::run(ActionFrontEnd& frontEnd)
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

    BackupSteps steps(frontEnd);
    QDir backupRoot;
    WorkerOutcome outcome = steps.backUp(target, backupRoot);
    BackupManifest manifest(backupRoot.absoluteFilePath(target.uniqueDeviceId));
    // The phone may have begun to encrypt its backups after the settings were read.
    if (outcome.result == WorkerOutcome::Succeeded)
        outcome = steps.openForWriting(manifest, IOSDevice::encryptedBackupRefusal());
    if (outcome.result == WorkerOutcome::Succeeded)
        outcome = steps.cache(manifest);
    if (outcome.result == WorkerOutcome::Succeeded) {
        outcome = steps.merge(target.countryCode, messages, manifest);
        merged = steps.counts().merged;
        skipped = steps.counts().skipped;
    }
    // With nothing added the backup is the phone's own: restoring it would only restart the
    // phone, and lose what it received since the backup.
    if (outcome.result == WorkerOutcome::Succeeded && merged > 0)
        outcome = steps.restore(target, backupRoot);
    if (outcome.result != WorkerOutcome::Succeeded)
        return outcome;
    frontEnd.inform(merged > 0 ? mainWindowText("IDS_SUC_RESTORE_%1_MESSAGES_TO_IOS").arg(merged)
                               : mainWindowText("IDS_ALL_MESSAGES_ALREADY_ON_IOS"));
    return outcome;
}
