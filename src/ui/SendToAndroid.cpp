#include "ui/SendToAndroid.h"

#include "android/AndroidDevice.h"
#include "android/AndroidRestoreSMSThread.h"
#include "frame/ProgressForm.h"
#include "frame/RunWorker.h"
#include "sqlite/Sqlite3DB.h"

bool sendToAndroid(AndroidDevice device, Sqlite3DB& cacheDb, const QList<_MsgMessage*>& messages, QWidget* dialogParent)
{
    cacheDb.close();
    ProgressForm form(QString(), dialogParent);
    AndroidRestoreSMSThread worker(&device, messages, &form, dialogParent);
    return runWorker(worker, form).result == WorkerOutcome::Succeeded;
}
