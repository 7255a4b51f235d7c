#include "actions/AndroidMessageLoad.h"

#include "actions/ActionFrontEnd.h"

#include "android/AndroidDevice.h"
#include "android/AndroidLoadSMSThread.h"
#include "msgdb/IOS6MessageDb.h"

bool loadAndroidMessages(AndroidDevice& device, ActionFrontEnd& frontEnd)
{
    const std::unique_ptr<ActionStep> step = frontEnd.newStep();
    AndroidLoadSMSThread worker(&device, &step->report(), nullptr);
    return step->run(worker).result == WorkerOutcome::Succeeded;
}

QSharedPointer<AbsMessageDb> androidCacheDb(const AndroidDevice& device)
{
    return QSharedPointer<AbsMessageDb>(new IOS6MessageDb(device.cacheDir(), device.mmc, true));
}
