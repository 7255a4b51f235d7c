#include "Command.h"
#include "MessageDbAtPath.h"
#include "MessageSetJson.h"
#include "RunWorkerOrThrow.h"

#include "frame/ReportedRun.h"

#include "msgdb/IOS5MessageDb.h"
#include "msgdb/IOS5MessageRecovery.h"
#include "msgdb/IOS6MessageDb.h"
#include "msgdb/IOS6MessageRecovery.h"

#include <QJsonObject>
#include <QThread>

#include <functional>
#include <memory>

namespace {

// Runs body on a worker thread, as the application runs a recovery, and turns its
// exception or a cancel into a failure.
void runRecoveryWorker(const std::function<void(WorkerReport&)>& body)
{
    HeadlessReport report;
    const std::unique_ptr<QThread> worker(QThread::create([&report, &body] {
        runReported(
            report,
            [&] {
                body(report);
                if (!report.rejected)
                    report.postSucceed(QString());
            },
            {}, QStringLiteral("the recovery failed"));
    }));
    runWorkerOrThrow(*worker, report);
}

// The reader's country code is empty too, so that phone numbers compare.
void recoverIOS6(IOS6MessageDb& db, MsgSetPtr& set)
{
    IOS6MessageRecovery recovery(db, QString());
    runRecoveryWorker([&](WorkerReport& report) {
        // Handles first: the messages find their deleted senders among them.
        recovery.recoverDeletedHandles(&report);
        recovery.recoverDeletedMessages(set.chats(), &report);
    });
    recovery.loadRecycledMessages(set);
}

void recoverIOS5(IOS5MessageDb& db, MsgSetPtr& set)
{
    IOS5MessageRecovery recovery(db, QString());
    runRecoveryWorker([&](WorkerReport& report) { recovery.recoverDeletedMessages(&report); });
    db.loadRecycledMessages(set);
}

QJsonValue recover(const QStringList& args)
{
    if (args.size() != 1)
        throw UsageError("expected one PATH");
    const QSharedPointer<AbsIOSMessageDb> db = messageDbAtPath(args.first());
    auto* ios5 = dynamic_cast<IOS5MessageDb*>(db.data());
    MsgSetPtr set;
    db->messages(set, 0);
    if (ios5)
        recoverIOS5(*ios5, set);
    else
        recoverIOS6(dynamic_cast<IOS6MessageDb&>(*db), set);
    const QString recycleStore = workFolderFor(args.first()).absoluteFilePath(QStringLiteral("recycle.db"));
    writeMessageSetJson(stdout, set, db->iosVersion(), QJsonObject{{"recycle_store", recycleStore}});
    return QJsonValue(QJsonValue::Undefined);
}

} // namespace

MSGTOOL_COMMAND("recover", "PATH", recover);
