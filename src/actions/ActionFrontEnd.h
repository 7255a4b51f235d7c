#pragma once

#include "frame/WorkerOutcome.h"

#include <QString>

#include <memory>

class BackupManifest;
class QThread;
class WorkerReport;

// One long step of an action: the report its worker is built with, then the run of
// that worker to its end.
class ActionStep
{
public:
    virtual ~ActionStep() = default;
    virtual WorkerReport& report() = 0;
    // Starts the worker, waits until it has ended and says how it ended.
    virtual WorkerOutcome run(QThread& worker) = 0;
};

// Whom an action asks and tells: a person through the window's boxes and progress
// dialogs, or msgtool, which answers on its own. A worker's own failure reaches it through
// its step's report, never through these members.
class ActionFrontEnd
{
public:
    virtual ~ActionFrontEnd() = default;

    virtual std::unique_ptr<ActionStep> newStep() = 0;
    // The action cannot go on; picture is the resource path of an image that shows the
    // setting to change, or empty.
    virtual void refuse(const QString& text, const QString& picture = QString()) = 0;
    // A failure outside the workers. Like every text here, markup: our own words, with
    // outside text escaped (errorMarkup for an exception's text).
    virtual void fail(const QString& text) = 0;
    virtual bool ask(const QString& question) = 0;
    virtual void inform(const QString& text) = 0;
    // Unlocks the encrypted backup; false when no password was given.
    virtual bool unlock(BackupManifest& manifest) = 0;
};
