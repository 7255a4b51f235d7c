#include "actions/SendToAndroid.h"

#include "actions/ActionFrontEnd.h"

#include "android/AndroidDevice.h"
#include "android/AndroidRestoreSMSThread.h"
#include "sqlite/Sqlite3DB.h"

bool sendToAndroid(AndroidDevice device, Sqlite3DB& cacheDb, const QList<_MsgMessage*>& messages,
                   ActionFrontEnd& frontEnd)
{
    cacheDb.close();
    const std::unique_ptr<ActionStep> step = frontEnd.newStep();
    AndroidRestoreSMSThread worker(&device, messages, &step->report(), nullptr);
    return step->run(worker).result == WorkerOutcome::Succeeded;
}
