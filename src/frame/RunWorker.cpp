#include "frame/RunWorker.h"

#include "frame/JoinedThread.h"
#include "frame/ProgressForm.h"

WorkerOutcome runWorker(QThread& worker, ProgressForm& form)
{
    JoinedThread thread(worker);
    thread.start(QThread::InheritPriority);
    const int result = form.exec();
    WorkerOutcome outcome;
    if (result == 1 && !form.rejected)
        outcome.result = WorkerOutcome::Succeeded;
    else if (const std::optional<QString> error = form.error()) {
        outcome.result = WorkerOutcome::Failed;
        outcome.error = *error;
    }
    thread.join();
    return outcome;
}
