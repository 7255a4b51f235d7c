#pragma once

#include "HeadlessReport.h"

#include <QThread>

#include <stdexcept>

// Runs a worker with its headless report and turns its error or a cancel into a failure
// of the subcommand.
inline void runWorkerOrThrow(QThread& worker, HeadlessReport& report)
{
    const WorkerOutcome outcome = report.run(worker);
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
