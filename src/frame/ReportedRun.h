#pragma once

#include <QString>

#include <functional>

class WorkerReport;

// Thrown by a worker's step that finds the run cancelled; runReported ends the run quietly.
struct RunCancelled
{
};

// Runs body as a worker's run() so that the run ends in exactly one outcome on every
// path: body posts its own success; RunCancelled, or any exception once the report is
// rejected, ends the run quietly; any other exception ends it as failed with the
// exception's text as markup (errorMarkup; the log gets the text as it is), or with
// failureText when the exception is no std::exception.
// takeBack runs before a cancel or failure is reported, to undo what the run left half
// done; its own failure is logged, never reported over the first one.
void runReported(WorkerReport& report, const std::function<void()>& body, const std::function<void()>& takeBack = {},
                 const QString& failureText = QStringLiteral("Unknown error."));
