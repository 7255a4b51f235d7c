#include "msgdb/DeleteMessagesThread.h"

#include "msgdb/IOS6MessageDb.h"
#include "msgdb/ProgressPercent.h"
#include "msgdb/TriggerSetAside.h"

#include "frame/ReportedRun.h"
#include "frame/WorkerReport.h"

DeleteMessagesThread::DeleteMessagesThread(IOS6MessageDb* db, const QList<_MsgMessage*>* messages, WorkerReport* form,
                                           QObject* parent)
    : QThread(parent)
    , db(db)
    , messages(messages)
    , form(form)
{
}

DeleteMessagesThread::~DeleteMessagesThread() = default;

void DeleteMessagesThread::run()
{
    form->postProgress(tr("IDS_DELETING_LOCAL_DB_MESSAGES"), 0, QString());
    runReported(
        *form,
        [this] {
            const int total = int(messages->size());
            db->beginTransaction();
            // In place, the trigger would scan every message for each join row deleted: it
            // is done once instead, at the end.
            TriggerSetAside orphanCleanup(*db, QStringLiteral("clean_orphaned_messages"));
            int deleted = 0;
            for (const _MsgMessage* message : *messages) {
                if (form->rejected)
                    throw RunCancelled();
                ++deleted;
                form->postProgress(QString(), progressPercent(deleted, total), QString());
                db->deleteMessage(*message);
            }
            if (orphanCleanup.wasPresent() && deleted > 0)
                db->deleteOrphanedMessages();
            orphanCleanup.putBack();
            db->endTransaction(true);
            form->postSucceed(tr("IDS_SUC_DELETE_%1_MESSAGES").arg(deleted));
        },
        [this] { db->endTransaction(false); });
}
