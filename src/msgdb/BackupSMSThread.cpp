#include "msgdb/BackupSMSThread.h"

#include "msgdb/ProgressPercent.h"

#include "frame/ProgressForm.h"
#include "model/SafeSort.h"
#include "model/SortPredicates.h"

#include <exception>

BackupSMSThread::BackupSMSThread(QList<_MsgMessage*> messages, const QDir& folder, const QString& mcc,
                                 ProgressForm* form, QObject* parent)
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
    try {
        const int total = int(messages.size());
        exporter.begin();
        int handedIn = 0;
        for (const _MsgMessage* message : std::as_const(messages)) {
            if (form->rejected) {
                exporter.abandon();
                return;
            }
            ++handedIn;
            form->postProgress(status, progressPercent(handedIn, total), tr("SMS: %1/%2").arg(handedIn).arg(total));
            exporter.write(*message);
        }
        exporter.end();
        form->postSucceed(tr("IDS_SUC_BACKUP_%1_SMS").arg(handedIn));
    } catch (const std::exception& e) {
        exporter.abandon();
        form->postError(QString::fromUtf8(e.what()).toHtmlEscaped());
    } catch (...) {
        exporter.abandon();
        form->postError(tr("Unknown error."));
    }
}
