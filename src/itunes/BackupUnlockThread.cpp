#include "itunes/BackupUnlockThread.h"

#include "frame/ReportedRun.h"
#include "frame/WorkerReport.h"
#include "itunes/BackupManifest.h"

BackupUnlockThread::BackupUnlockThread(BackupManifest* manifest, const QString& password, WorkerReport* form,
                                       QObject* parent)
    : QThread(parent)
    , manifest(manifest)
    , password(password)
    , form(form)
{
}

void BackupUnlockThread::run()
{
    int shownPercent = -1;
    const auto progress = [this, &shownPercent](quint64 done, quint64 total) {
        const int percent = int(done * 100 / total);
        if (percent != shownPercent) {
            shownPercent = percent;
            form->postProgress(QString(), percent, QString());
        }
        return !form->rejected;
    };
    runReported(*form, [&] {
        unlockedWithPassword = manifest->unlock(password, progress);
        if (!form->rejected)
            form->postSucceed(QString());
    });
}
