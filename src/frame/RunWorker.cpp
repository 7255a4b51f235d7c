#include "frame/RunWorker.h"

#include "frame/ProgressForm.h"

#include <QThread>

WorkerOutcome runWorker(QThread& worker, ProgressForm& form)
{
    worker.start(QThread::InheritPriority);
    const int result = form.exec();
    WorkerOutcome outcome;
    if (result == 1 && !form.rejected)
        outcome.result = WorkerOutcome::Succeeded;
    else if (const std::optional<QString> error = form.error()) {
        outcome.result = WorkerOutcome::Failed;
        outcome.error = *error;
    }
    worker.wait();
    return outcome;
}
