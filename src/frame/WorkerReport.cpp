#include "frame/WorkerReport.h"

void WorkerReport::postTipsWait(const QString& info)
{
    tipPosted = true;
    waiting = true;
    // A run rejected before the flag was set may never show the tip: its end saw no wait
    // to release. Either this check or that end sees the other's flag.
    if (rejected) {
        endTipWait();
        return;
    }
    showTip(info);
}

void WorkerReport::waitForTips()
{
    if (!tipPosted)
        return;
    tipPosted = false;
    tipClosed.acquire();
}

void WorkerReport::endTipWait()
{
    if (waiting.exchange(false))
        tipClosed.release();
}

void WorkerReport::markRejected()
{
    rejected = true;
    endTipWait();
}
