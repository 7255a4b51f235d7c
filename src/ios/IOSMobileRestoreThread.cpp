#include "ios/IOSMobileRestoreThread.h"

#include "frame/WorkerReport.h"
#include "ios/BackupToolMessages.h"
#include "ios/IOSDevice.h"
#include "ios/IosLog.h"
#include "ios/PhoneDeparture.h"
#include "ios/backup2tool.h"

IOSMobileRestoreThread::IOSMobileRestoreThread(IOSDevice* device, const QDir& folder, WorkerReport* form,
                                               QObject* parent)
    : QThread(parent)
    , device(device)
    , root(folder)
    , form(form)
    , tool(std::make_unique<backup2tool>(device->handle, device->uniqueDeviceId, root))
{
    connect(tool.get(), &backup2tool::update, this, &IOSMobileRestoreThread::backupUpdate);
    tool->watchCancelFlag(&form->rejected);
}

IOSMobileRestoreThread::~IOSMobileRestoreThread() = default;

void IOSMobileRestoreThread::backupUpdate(double pg, QString, QString)
{
    form->postProgress(QString(), int(pg), QString());
}

void IOSMobileRestoreThread::run()
{
    form->postProgress(tr("IDS_RESTORING_BACKUP_TO_IOS"), 0, QString());
    const QString refusal = deviceBackupRefusal(*device);
    if (!refusal.isEmpty()) {
        qCWarning(lcIos).noquote() << "iPhone restore refused for" << device->uniqueDeviceId;
        form->postError(refusal);
        return;
    }
    try {
        tool->run(backup2tool_restore);
        form->postSucceed(QString());
    } catch (const std::exception& e) {
        qCWarning(lcIos).noquote() << "iPhone restore:" << e.what();
        form->postError(phoneFailureText(device->handle, restoreFailureMessage(QString::fromUtf8(e.what()))));
    }
}
