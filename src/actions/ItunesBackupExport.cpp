#include "actions/ItunesBackupExport.h"

#include "actions/ActionFrontEnd.h"
#include "actions/BackupSteps.h"

#include "itunes/BackupManifest.h"

#include <QCoreApplication>

namespace {

QString mainWindowText(const char* key)
{
    return QCoreApplication::translate("MainWindow", key);
}

} // namespace

WorkerOutcome exportToItunesBackup(BackupManifest& manifest, QList<_MsgMessage*> messages, ActionFrontEnd& frontEnd,
                                   BackupMergeCounts& counts)
{
    BackupSteps steps(frontEnd);
    const IOSDevice::SettingsRefusal encrypted{mainWindowText("IDS_CANT_EXPORT_ITUNES_BACKUP_IS_ENCRYPT"), QString()};
    WorkerOutcome outcome = steps.openForWriting(manifest, encrypted);
    if (outcome.result == WorkerOutcome::Succeeded)
        outcome = steps.cache(manifest);
    if (outcome.result == WorkerOutcome::Succeeded)
        outcome = steps.checkCached();
    if (outcome.result == WorkerOutcome::Succeeded)
        outcome = steps.merge(QString(), messages, manifest);
    counts = steps.counts();
    if (outcome.result != WorkerOutcome::Succeeded)
        return outcome;
    frontEnd.inform(counts.merged > 0 ? mainWindowText("IDS_SUC_RESTORE_%1_MESSAGES_TO_IOS").arg(counts.merged)
                                      : mainWindowText("IDS_ALL_MESSAGES_ALREADY_IN_ITUNES_BACKUP"));
    return outcome;
}
