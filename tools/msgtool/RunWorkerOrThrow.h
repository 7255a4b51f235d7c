#pragma once

#include "HeadlessReport.h"

#include <QThread>

#include <stdexcept>

// Turns a worker's error or a cancel into a failure of the subcommand.
inline void throwUnlessSucceeded(const WorkerOutcome& outcome)
{
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

// Runs a worker with its headless report, failing the subcommand unless it succeeded.
inline void runWorkerOrThrow(QThread& worker, HeadlessReport& report)
{
    throwUnlessSucceeded(report.run(worker));
}
