#include "msgdb/DeleteMessagesThread.h"

#include "msgdb/IOS6MessageDb.h"
#include "msgdb/MsgDbLog.h"
#include "msgdb/ProgressPercent.h"
#include "msgdb/TriggerSetAside.h"

#include "frame/ReportedRun.h"
#include "frame/WorkerReport.h"

namespace {

// A deletion touches pages all over the message table and its indexes: with SQLite's
// small default page cache each would be read, and spilled, again and again. The larger
// cache lasts for the run; the connection then gets its own back.
class RunPageCache
{
public:
    explicit RunPageCache(Sqlite3DB& db)
        : db(db)
    {
        Sqlite3Cursor current = db.queryThrow("PRAGMA cache_size");
        previous = current.moveNext() ? current.getInt64(0) : 0;
        db.executeThrow("PRAGMA cache_size=-65536");
    }
    RunPageCache(const RunPageCache&) = delete;
    RunPageCache& operator=(const RunPageCache&) = delete;
    ~RunPageCache()
    {
        QString error;
        if (db.exec(QStringLiteral("PRAGMA cache_size=%1").arg(previous), error) != 0)
            qCWarning(lcMsgDb, "DeleteMessagesThread: page cache size not restored: %s", qUtf8Printable(error));
    }

private:
    Sqlite3DB& db;
    qint64 previous = 0;
};

} // namespace

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
            const RunPageCache pageCache(*db);
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
