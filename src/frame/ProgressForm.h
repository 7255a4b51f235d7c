#pragma once

#include "frame/WinMovable.h"
#include "frame/WorkerReport.h"

#include <QDialog>
#include <QString>

#include <memory>
#include <optional>

namespace Ui {
class ProgressForm;
}

// The modal dialog in front of a long operation, showing what its worker reports. The
// dialog and its slots live on the GUI thread; a worker uses only its WorkerReport side.
// The reports reach the slots by name, so their names and parameter types must not change.
class ProgressForm : public QDialog, public WorkerReport
{
    Q_OBJECT

public:
    ProgressForm(const QString& title, QWidget* parent);
    ~ProgressForm() override;

    // The worker's cancel flag, not QDialog's signal of the same name.
    using WorkerReport::rejected;

    void setCancelEnabled(bool enabled);
    // The text of the error that ended the dialog, when an error did. GUI thread.
    std::optional<QString> error() const;

    // Any thread: from a worker each call is queued to the GUI thread, from the GUI thread
    // it runs at once. An empty progressText shows "Progress:N%". The dialog finishes with
    // 0 after the error box of postError (rejected is set), and with 1 after postSucceed.
    void postProgress(const QString& status, int curProgress, const QString& progressText) override;
    void postError(const QString& err) override;
    void postSucceed(const QString& tipsStr) override;

    // Neither Escape nor anything else ends the dialog; only success, error and cancel do.
    void accept() override;
    void reject() override;

signals:
    void userCacel();

protected:
    // An information box while the dialog stays open.
    void showTip(const QString& info) override;

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
