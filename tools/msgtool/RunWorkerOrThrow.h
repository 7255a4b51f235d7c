#pragma once

#include "frame/ProgressForm.h"
#include "frame/RunWorker.h"

#include <QThread>

#include <stdexcept>

// Runs a worker under its progress dialog (headless in msgtool) and turns its error or a
// cancel into a failure of the subcommand.
inline void runWorkerOrThrow(QThread& worker, ProgressForm& form)
{
    const WorkerOutcome outcome = runWorker(worker, form);
    switch (outcome.result) {
    case WorkerOutcome::Succeeded:
        return;
    case WorkerOutcome::Failed:
        throw std::runtime_error(outcome.error.toStdString());
    case WorkerOutcome::Cancelled:
        break;
    }
    throw std::runtime_error("cancelled");
}
