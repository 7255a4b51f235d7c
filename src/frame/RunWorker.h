#pragma once

#include "frame/WorkerOutcome.h"

class ProgressForm;
class QThread;

// The caller's side of a long operation: starts the worker with inherited priority, runs
// the dialog modally, reads the outcome as soon as the dialog ends, then waits for the
// worker without a time limit. GUI thread only.
WorkerOutcome runWorker(QThread& worker, ProgressForm& form);
