#include "actions/SaveIntoLocalDb.h"

#include "actions/ActionFrontEnd.h"

#include "msgdb/BackupSMSThread.h"

bool saveIntoLocalDb(Sqlite3DB& db, const QDir& folder, const QList<_MsgMessage*>& messages, ActionFrontEnd& frontEnd)
{
    db.close();
    const std::unique_ptr<ActionStep> step = frontEnd.newStep();
    BackupSMSThread worker(messages, folder, QString(), &step->report(), nullptr);
    return step->run(worker).result == WorkerOutcome::Succeeded;
}
