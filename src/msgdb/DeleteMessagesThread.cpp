#include "msgdb/DeleteMessagesThread.h"

#include "msgdb/IOS6MessageDb.h"
#include "msgdb/ProgressPercent.h"

#include "frame/ProgressForm.h"

#include <exception>

DeleteMessagesThread::DeleteMessagesThread(IOS6MessageDb* db, const QList<_MsgMessage*>* messages,
                                           ProgressForm* form, QObject* parent)
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
    try {
        const int total = int(messages->size());
        db->beginTransaction();
        int deleted = 0;
        for (const _MsgMessage* message : *messages) {
            if (form->rejected) {
                rollBack();
                return;
            }
            ++deleted;
            form->postProgress(QString(), progressPercent(deleted, total), QString());
            db->deleteMessage(*message);
        }
        db->endTransaction(true);
        form->postSucceed(tr("IDS_SUC_DELETE_%1_MESSAGES").arg(deleted));
    } catch (const std::exception& e) {
        rollBack();
        form->postError(QString::fromUtf8(e.what()).toHtmlEscaped());
    } catch (...) {
        rollBack();
        form->postError(tr("Unknown error."));
    }
}

void DeleteMessagesThread::rollBack() noexcept
{
    try {
        db->endTransaction(false);
    } catch (const std::exception& e) {
        qWarning("DeleteMessagesThread: rollback failed. %s", e.what());
    }
}
