#pragma once

#include "frame/WinMovable.h"

#include <QDialog>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>

namespace Ui {
class ProgressForm;
}

// The modal dialog in front of a long operation, and the only channel through which its
// worker thread reports. The dialog and its slots live on the GUI thread; a worker uses
// only the post* members, waitForTips and the two flags. Workers reach the slots by
// name, so their names and parameter types must not change.
class ProgressForm : public QDialog
{
    Q_OBJECT

public:
    ProgressForm(const QString& title, QWidget* parent);
    ~ProgressForm() override;

    // True once the dialog has finished with result 0 (cancel button or error); workers
    // test it between steps and end quietly when it is set.
    std::atomic<bool> rejected{false};
    // True while a tip that a worker asked for is on screen.
    std::atomic<bool> waiting{false};

    void setCancelEnabled(bool enabled);
    // The text of the error that ended the dialog, when an error did. GUI thread.
    std::optional<QString> error() const;

    // Any thread: from a worker each call is queued to the GUI thread, from the GUI thread
    // it runs at once. A negative curProgress keeps the bar; an empty status keeps the
    // status line; an empty progressText shows "Progress:N%".
    void postProgress(const QString& status, int curProgress, const QString& progressText);
    // Ends the dialog with 0 after the error box; the worker sends nothing after it.
    void postError(const QString& err);
    // Ends the dialog with 1, after an information box when tipsStr is not empty.
    void postSucceed(const QString& tipsStr);
    // Shows info in an information box while the dialog stays open; sets waiting.
    void postTipsWait(const QString& info);
    // Worker thread, after postTipsWait: returns once the tip is closed, or once the dialog
    // has finished rejected, in which case the tip may never be shown.
    void waitForTips() const;

    // Neither Escape nor anything else ends the dialog; only success, error and cancel do.
    void accept() override;
    void reject() override;

signals:
    void userCacel();

private slots:
    void updateProgress(const QString& status, int curProgress, const QString& progressText);
    void errorOccurred(const QString& err);
    void succeed(const QString& tipsStr);
    void onFinish(int result);
    void tipsWait(const QString& info);
    void cancel();

private:
    WinMovable movable;
    std::unique_ptr<Ui::ProgressForm> ui;
    std::optional<QString> errorText;
};
