#pragma once

// A WorkerReport that keeps every report a worker makes, for tests that run a worker
// without a dialog. The worker thread is the only one to touch it while it runs; the
// test reads it once the worker has ended.

#include "frame/JoinedThread.h"
#include "frame/WorkerOutcome.h"
#include "frame/WorkerReport.h"

#include <QDebug>
#include <QList>
#include <QStringList>
#include <QThread>

struct ReportedProgress
{
    QString status;
    int value = 0;
    QString progressText;

    bool operator==(const ReportedProgress& other) const
    {
        return status == other.status && value == other.value && progressText == other.progressText;
    }
};

inline QDebug operator<<(QDebug debug, const ReportedProgress& step)
{
    return debug << step.status << step.value << step.progressText;
}

class RecordingReport : public WorkerReport
{
public:
    QList<ReportedProgress> progress;
    QStringList errors;
    QStringList successes; // the texts of postSucceed, empty ones included
    QStringList tips;
    // When not negative: sets rejected as soon as the worker reports a step at this
    // percentage or beyond, so that it finishes that step and sees the cancel before the
    // next one, as after a click on the dialog's cancel button.
    int cancelAtPercent = -1;

    void postProgress(const QString& status, int curProgress, const QString& progressText) override
    {
        progress.append({status, curProgress, progressText});
        if (cancelAtPercent >= 0 && curProgress >= cancelAtPercent)
            rejected = true;
    }
    void postError(const QString& err) override
    {
        errors.append(err);
        markRejected();
    }
    void postSucceed(const QString& tipsStr) override { successes.append(tipsStr); }

    // Every run ends in at most one outcome; none is a cancel.
    int outcomeCount() const { return int(errors.size() + successes.size()); }
    WorkerOutcome outcome() const
    {
        if (!errors.isEmpty())
            return {WorkerOutcome::Failed, errors.first()};
        if (!successes.isEmpty())
            return {WorkerOutcome::Succeeded, QString()};
        return {};
    }

    // Runs the worker on its own thread, as the application does, to its end.
    WorkerOutcome run(QThread& worker)
    {
        JoinedThread thread(worker);
        thread.start();
        thread.join();
        return outcome();
    }

protected:
    void showTip(const QString& info) override
    {
        tips.append(info);
        endTipWait();
    }
};
