#include "Command.h"
#include "MessageDbAtPath.h"
#include "MessageSetJson.h"
#include "RunWorkerOrThrow.h"

#include "msgdb/IOS6MessageDb.h"
#include "msgdb/IOS6MessageRecovery.h"

#include <QThread>

#include <memory>

namespace {

// Runs body on a worker thread under a headless progress dialog, as the application runs
// a recovery, and turns its exception or a cancel into a failure.
void runRecoveryWorker(const std::function<void(ProgressForm&)>& body)
{
    ProgressForm form(QString(), nullptr);
    const std::unique_ptr<QThread> worker(QThread::create([&form, &body] {
        try {
            body(form);
            if (!form.rejected)
                form.postSucceed(QString());
        } catch (const std::exception& e) {
            form.postError(QString::fromUtf8(e.what()));
        }
    }));
    runWorkerOrThrow(*worker, form);
}

QJsonValue recover(const QStringList& args)
{
    if (args.size() != 1)
        throw UsageError("expected one PATH");
    const QSharedPointer<AbsIOSMessageDb> db = messageDbAtPath(args.first());
    MsgSetPtr set;
    db->messages(set, 0);

    auto* ios6 = dynamic_cast<IOS6MessageDb*>(db.data());
    if (!ios6)
        throw std::runtime_error("msgtool recovers iOS 6 databases only");
    // The same country code as the reader's, so that phone numbers compare.
    IOS6MessageRecovery recovery(*ios6, QString());
    runRecoveryWorker([&](ProgressForm& form) {
        // Handles first: the messages find their deleted senders among them.
        recovery.recoverDeletedHandles(&form);
        recovery.recoverDeletedMessages(set.chats(), &form);
    });
    recovery.loadRecycledMessages(set);
    return messageSetJson(set, db->iosVersion());
}

} // namespace

MSGTOOL_COMMAND("recover", "PATH", recover);
