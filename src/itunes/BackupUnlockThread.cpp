#include "itunes/BackupUnlockThread.h"

#include "frame/ProgressForm.h"
#include "itunes/BackupManifest.h"

#include <exception>

BackupUnlockThread::BackupUnlockThread(BackupManifest* manifest, const QString& password, ProgressForm* form,
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
    try {
        unlockedWithPassword = manifest->unlock(password, progress);
        if (!form->rejected)
            form->postSucceed(QString());
    } catch (const std::exception& e) {
        form->postError(QString::fromUtf8(e.what()).toHtmlEscaped());
    }
}
