#pragma once

// Plays a person's steps inside a dialog's modal run, once the run is under way.

#include <QDialog>
#include <QTimer>

#include <functional>

// The result of a modal run that the steps should have ended but did not; ending it
// keeps a failing test from waiting for its timeout.
constexpr int leftOpenByTheSteps = -1;

inline void duringModalRun(QDialog& dialog, std::function<void()> steps)
{
    QTimer::singleShot(0, &dialog, [&dialog, steps] {
        steps();
        if (dialog.isVisible())
            dialog.done(leftOpenByTheSteps);
    });
}
