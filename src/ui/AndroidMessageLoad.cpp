#include "ui/AndroidMessageLoad.h"

#include "android/AndroidDevice.h"
#include "android/AndroidLoadSMSThread.h"
#include "frame/ProgressForm.h"
#include "frame/RunWorker.h"
#include "msgdb/IOS6MessageDb.h"

bool loadAndroidMessages(AndroidDevice& device, QWidget* dialogParent)
{
    ProgressForm form(QString(), dialogParent);
    AndroidLoadSMSThread worker(&device, &form, dialogParent);
    return runWorker(worker, form).result == WorkerOutcome::Succeeded;
}

QSharedPointer<AbsMessageDb> androidCacheDb(const AndroidDevice& device)
{
    return QSharedPointer<AbsMessageDb>(new IOS6MessageDb(device.cacheDir(), device.mmc, true));
}
