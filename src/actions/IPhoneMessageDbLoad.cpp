#include "actions/IPhoneMessageDbLoad.h"

#include "actions/ActionFrontEnd.h"
#include "actions/BackupSteps.h"

#include "ios/IOSLoadFileRelayThread.h"
#include "itunes/BackupManifest.h"
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

WorkerOutcome IPhoneMessageDbLoad::fetch(ActionFrontEnd& frontEnd)
{
    if (!readsThroughFileRelay(device))
        return fetchThroughBackup(frontEnd);
    const std::unique_ptr<ActionStep> step = frontEnd.newStep();
    IOSLoadFileRelayThread relay(&device, &step->report());
    return step->run(relay);
}

WorkerOutcome IPhoneMessageDbLoad::fetchThroughBackup(ActionFrontEnd& frontEnd)
{
    // Encrypted backups are allowed here: the password opens them.
    if (const std::optional<IOSDevice::SettingsRefusal> refusal = device.backupSettingsRefusal(true, false)) {
        frontEnd.refuse(refusal->text, refusal->picture);
        return WorkerOutcome{WorkerOutcome::Failed, refusal->text};
    }
    BackupSteps steps(frontEnd);
    QDir backupRoot;
    WorkerOutcome outcome = steps.backUp(device, backupRoot);
    BackupManifest manifest(backupRoot.absoluteFilePath(device.uniqueDeviceId));
    if (outcome.result == WorkerOutcome::Succeeded)
        outcome = steps.openForWriting(manifest, std::nullopt);
    if (outcome.result == WorkerOutcome::Succeeded)
        outcome = steps.cache(manifest, device.cacheDir());
    return outcome;
}

QSharedPointer<AbsIOSMessageDb> IPhoneMessageDbLoad::open() const
{
    return openCachedMessageDb(device.cacheDir(), device.countryCode);
}
