#include "ui/IPhoneMessageDbLoad.h"

#include "ui/IPhoneActionFrontEnd.h"

#include "frame/ErrorMarkup.h"
#include "ios/IOSLoadFileRelayThread.h"
#include "ios/IOSMobileBackupThread.h"
#include "itunes/BackupManifest.h"
#include "itunes/ITunesCacheSMSThread.h"
#include "msgdb/CachedMessageDb.h"

#include <optional>

IPhoneMessageDbLoad::IPhoneMessageDbLoad(const IOSDevice& device)
    : device(device)
{
}

bool IPhoneMessageDbLoad::readsThroughFileRelay(const IOSDevice& device)
{
    const QList<int> numbers = device.versionNumbers();
    return numbers.isEmpty() || (numbers.first() >= 5 && numbers.first() <= 7);
}

WorkerOutcome IPhoneMessageDbLoad::fetch(IPhoneActionFrontEnd& frontEnd)
{
    if (!readsThroughFileRelay(device))
        return fetchThroughBackup(frontEnd);
    const std::unique_ptr<ActionStep> step = frontEnd.newStep();
    IOSLoadFileRelayThread relay(&device, &step->report());
    return step->run(relay);
}

WorkerOutcome IPhoneMessageDbLoad::fetchThroughBackup(IPhoneActionFrontEnd& frontEnd)
{
    // Encrypted backups are allowed here: the password opens them.
    if (const std::optional<IOSDevice::SettingsRefusal> refusal = device.backupSettingsRefusal(true, false)) {
        frontEnd.refuse(refusal->text, refusal->picture);
        return WorkerOutcome{WorkerOutcome::Failed, refusal->text};
    }
    const std::unique_ptr<ActionStep> backupStep = frontEnd.newStep();
    IOSMobileBackupThread backup(&device, &backupStep->report());
    WorkerOutcome outcome = backupStep->run(backup);
    if (outcome.result != WorkerOutcome::Succeeded)
        return outcome;

    const std::unique_ptr<ActionStep> cacheStep = frontEnd.newStep();
    BackupManifest manifest(backup.backupDir().absoluteFilePath(device.uniqueDeviceId));
    try {
        manifest.loadPlist();
        if (manifest.isEncrypted && !frontEnd.unlock(manifest))
            return WorkerOutcome{WorkerOutcome::Cancelled, QString()};
        manifest.loadMbdb();
    } catch (const std::exception& e) {
        const QString text = errorMarkup(e);
        frontEnd.fail(text);
        return WorkerOutcome{WorkerOutcome::Failed, text};
    }
    ITunesCacheSMSThread cache(&manifest, device.cacheDir(), &cacheStep->report());
    return cacheStep->run(cache);
}

QSharedPointer<AbsIOSMessageDb> IPhoneMessageDbLoad::open() const
{
    return openCachedMessageDb(device.cacheDir(), device.countryCode);
}
