#include "msgdb/BackupSMSThread.h"

#include "msgdb/ProgressPercent.h"

#include "frame/ReportedRun.h"
#include "frame/WorkerReport.h"
#include "model/SafeSort.h"
#include "model/SortPredicates.h"

BackupSMSThread::BackupSMSThread(QList<_MsgMessage*> messages, const QDir& folder, const QString& mcc,
                                 WorkerReport* form, QObject* parent)
    : QThread(parent)
    , messages(std::move(messages))
    , form(form)
    , exporter(folder, mcc)
{
    safeSort(this->messages, messageLessThan);
}

BackupSMSThread::~BackupSMSThread() = default;

void BackupSMSThread::run()
{
    const QString status = tr("IDS_BACKING_UP_SMS");
    form->postProgress(status, 0, QString());
    runReported(
        *form,
        [&] {
            const int total = int(messages.size());
            exporter.begin();
            int handedIn = 0;
            for (const _MsgMessage* message : std::as_const(messages)) {
                if (form->rejected)
                    throw RunCancelled();
                ++handedIn;
                form->postProgress(status, progressPercent(handedIn, total), tr("SMS: %1/%2").arg(handedIn).arg(total));
                exporter.write(*message);
            }
            exporter.end();
            if (lastStep)
                lastStep();
            const qint64 added = exporter.addedMessages();
            form->postSucceed(added ? tr("IDS_SUC_BACKUP_%1_SMS").arg(added)
                                    : tr("IDS_ALL_MESSAGES_ALREADY_IN_LOCAL_DB"));
        },
        [this] { exporter.abandon(); });
}
