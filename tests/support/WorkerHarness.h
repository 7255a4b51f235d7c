#pragma once

// Runs a worker under its progress dialog as the application does, with every message
// box answered and every step of the dialog recorded; or, for a cancel at an exact
// step, runs its run() on the test's own thread, where each report reaches the dialog
// at once.

#include "frame/ProgressForm.h"
#include "frame/RunWorker.h"
#include "support/MessageBoxAnswerer.h"
#include "support/ProgressRecorder.h"

#include <QElapsedTimer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <functional>

struct RecordedRun
{
    WorkerOutcome outcome;
    QList<ProgressStep> steps;
    QStringList boxes; // texts of the message boxes shown, in order
};

inline RecordedRun runRecorded(QThread& worker, ProgressForm& form)
{
    MessageBoxAnswerer answerer;
    ProgressRecorder recorder(form);
    RecordedRun run;
    run.outcome = runWorker(worker, form);
    run.steps = recorder.steps;
    run.boxes = answerer.texts;
    return run;
}

// The worker with its run() callable from the test.
template<class Worker>
struct Synchronous : Worker
{
    using Worker::Worker;
    using Worker::run;
};

// Sets the dialog's cancel flag as soon as the worker announces its first step, so the
// worker finishes that step and sees the cancel before the next one.
inline void cancelAtFirstStep(ProgressForm& form)
{
    QObject::connect(form.findChild<QProgressBar*>(QStringLiteral("progressBar")), &QProgressBar::valueChanged, &form,
                     [&form](int value) {
                         if (value > 0)
                             form.rejected = true;
                     });
}

// Clicks the dialog's cancel button, as a person would, once ready() holds; ready() is
// polled every 20 ms on the GUI thread while the dialog runs.
class CancelWhen
{
public:
    CancelWhen(ProgressForm& form, std::function<bool()> ready)
    {
        QObject::connect(&watch, &QTimer::timeout, &form, [this, &form, ready = std::move(ready)] {
            if (!ready())
                return;
            watch.stop();
            sinceClick.start();
            QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("btnCancel")), Qt::LeftButton);
        });
        watch.start(20);
    }

    // Invalid until the click.
    QElapsedTimer sinceClick;

private:
    QTimer watch;
};
