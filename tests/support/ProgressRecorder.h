#pragma once

// Records what a progress dialog shows after each call that a worker queued to it, so
// a test can check every step and not only the last one.

#include "frame/ProgressForm.h"

#include <QEvent>
#include <QLabel>
#include <QList>
#include <QProgressBar>
#include <QString>

struct ProgressStep
{
    QString status;
    int value = 0;
    QString progressText;

    bool operator==(const ProgressStep& other) const
    {
        return status == other.status && value == other.value && progressText == other.progressText;
    }
};

inline QDebug operator<<(QDebug debug, const ProgressStep& step)
{
    return debug << step.status << step.value << step.progressText;
}

class ProgressRecorder : public QObject
{
public:
    explicit ProgressRecorder(ProgressForm& form)
        : form(form)
    {
        form.installEventFilter(this);
    }

    // Each distinct state of the status line, the bar and the progress line, in order.
    QList<ProgressStep> steps;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != &form || event->type() != QEvent::MetaCall)
            return false;
        // The queued slot runs here, so its effect can be read; QWidget::event is protected.
        static_cast<QObject&>(form).event(event);
        const ProgressStep step{form.findChild<QLabel*>(QStringLiteral("lbStatus"))->text(),
                                form.findChild<QProgressBar*>(QStringLiteral("progressBar"))->value(),
                                form.findChild<QLabel*>(QStringLiteral("lbProgress"))->text()};
        if (steps.isEmpty() || !(steps.last() == step))
            steps.append(step);
        return true;
    }

private:
    ProgressForm& form;
};
