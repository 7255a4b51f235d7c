#include "HeadlessReport.h"

#include "frame/JoinedThread.h"

#include <cstdio>

namespace {

void printInformation(const QString& text)
{
    std::fprintf(stderr, "information: %s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace

void HeadlessReport::postProgress(const QString&, int, const QString&)
{
}

void HeadlessReport::postError(const QString& err)
{
    outcome = {WorkerOutcome::Failed, err};
    markRejected();
}

void HeadlessReport::postSucceed(const QString& tipsStr)
{
    if (!tipsStr.isEmpty())
        printInformation(tipsStr);
    outcome = {WorkerOutcome::Succeeded, QString()};
}

WorkerOutcome HeadlessReport::run(QThread& worker)
{
    outcome = WorkerOutcome();
    JoinedThread thread(worker);
    thread.start();
    thread.join();
    return outcome;
}

void HeadlessReport::showTip(const QString& info)
{
    printInformation(info);
    endTipWait();
}
