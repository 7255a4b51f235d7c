#include "ui/SaveIntoLocalDb.h"

#include "frame/ProgressForm.h"
#include "frame/RunWorker.h"
#include "msgdb/BackupSMSThread.h"

bool saveIntoLocalDb(Sqlite3DB& db, const QDir& folder, const QList<_MsgMessage*>& messages, QWidget* dialogParent)
{
    db.close();
    ProgressForm form(QString(), dialogParent);
    BackupSMSThread worker(messages, folder, QString(), &form, nullptr);
    return runWorker(worker, form).result == WorkerOutcome::Succeeded;
}
