#pragma once

#include <QString>

// How a worker's run ended, read by its caller once the worker has finished.
struct WorkerOutcome
{
    enum Result { Succeeded, Failed, Cancelled };
    Result result = Cancelled;
    // The text the worker reported with its error; empty unless Failed.
    QString error;
};
