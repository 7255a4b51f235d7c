#pragma once

#include "frame/WorkerOutcome.h"
#include "frame/WorkerReport.h"

class QThread;

// The report of a worker that msgtool runs: progress goes nowhere, texts meant for the
// user go to stderr, and the outcome is read once the worker has finished. Only the
// worker thread calls it while the worker runs.
class HeadlessReport : public WorkerReport
{
public:
    void postProgress(const QString& status, int curProgress, const QString& progressText) override;
    void postError(const QString& err) override;
    void postSucceed(const QString& tipsStr) override;

    // Starts the worker, waits for its end and says how it ended.
    WorkerOutcome run(QThread& worker);

protected:
    void showTip(const QString& info) override;

private:
    WorkerOutcome outcome;
};
