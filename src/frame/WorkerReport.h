#pragma once

#include <QSemaphore>
#include <QString>

#include <atomic>

// The channel through which a worker thread reports a long operation: the progress
// dialog in the window, a console in msgtool, a recorder in tests. A worker calls the
// post* members, waitForTips and reads the two flags; the implementation decides where
// the reports go and on which thread they are shown. Progress texts are plain text. The
// texts of errors, successes and tips are markup: our own words, with outside text
// (names, paths, what a phone or a tool said) escaped where the worker puts it in
// (errorMarkup for an exception's text).
class WorkerReport
{
public:
    virtual ~WorkerReport() = default;

    // True once the run was cancelled or ended by an error; workers test it between steps
    // and end quietly when it is set.
    std::atomic<bool> rejected{false};
    // True while a tip that a worker asked for has not been closed.
    std::atomic<bool> waiting{false};

    // A negative curProgress keeps the bar; an empty status keeps the status line; an
    // empty progressText shows the percentage.
    virtual void postProgress(const QString& status, int curProgress, const QString& progressText) = 0;
    // Ends the run as failed; the worker sends nothing after it.
    virtual void postError(const QString& err) = 0;
    // Ends the run as done, showing tipsStr first when it is not empty.
    virtual void postSucceed(const QString& tipsStr) = 0;
    // Shows info while the run goes on; the worker then calls waitForTips.
    void postTipsWait(const QString& info);
    // Worker thread, after postTipsWait: returns once the tip is closed, or once the run
    // was rejected, in which case the tip may never be shown.
    void waitForTips();

protected:
    // Shows the tip of postTipsWait and calls endTipWait once it is closed.
    virtual void showTip(const QString& info) = 0;
    // The tip was closed or the run ended: a worker in waitForTips goes on. Safe to call
    // more than once; only the first call after postTipsWait counts.
    void endTipWait();
    // Sets rejected and lets a worker waiting for a tip go on.
    void markRejected();

private:
    QSemaphore tipClosed;
    bool tipPosted = false; // worker thread only
};
