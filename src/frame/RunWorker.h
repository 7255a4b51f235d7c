#pragma once

#include <QString>

class ProgressForm;
class QThread;

struct WorkerOutcome
{
    enum Result { Succeeded, Failed, Cancelled };
    Result result = Cancelled;
    // The text the worker reported with its error; empty unless Failed.
    QString error;
};

// The caller's side of a long operation: starts the worker with inherited priority, runs
// the dialog modally, reads the outcome as soon as the dialog ends, then waits for the
// worker without a time limit. GUI thread only.
WorkerOutcome runWorker(QThread& worker, ProgressForm& form);
