#include "frame/ProgressForm.h"

#include "frame/MessageBox.h"
#include "frame/StyleSheet.h"
#include "ui_ProgressForm.h"

ProgressForm::ProgressForm(const QString& title, QWidget* parent)
    : QDialog(parent)
    , movable(this)
    , ui(std::make_unique<Ui::ProgressForm>())
{
    ui->setupUi(this);
    // Statuses name files of a phone or a backup: shown as they are, never as markup.
    ui->lbStatus->setTextFormat(Qt::PlainText);
    ui->lbProgress->setTextFormat(Qt::PlainText);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setStyleSheet(appStyleSheet());
    connect(this, &QDialog::finished, this, &ProgressForm::onFinish);
    connect(ui->btnCancel, &QPushButton::pressed, this, &ProgressForm::cancel);
    setWindowTitle(title);
    ui->lbStatus->setText(title);
}

ProgressForm::~ProgressForm() = default;

void ProgressForm::setCancelEnabled(bool enabled)
{
    ui->btnCancel->setEnabled(enabled);
}

std::optional<QString> ProgressForm::error() const
{
    return errorText;
}

void ProgressForm::postProgress(const QString& status, int curProgress, const QString& progressText)
{
    QMetaObject::invokeMethod(this, "updateProgress", Qt::AutoConnection, Q_ARG(QString, status),
                              Q_ARG(int, curProgress), Q_ARG(QString, progressText));
}

void ProgressForm::postError(const QString& err)
{
    QMetaObject::invokeMethod(this, "errorOccurred", Qt::AutoConnection, Q_ARG(QString, err));
}

void ProgressForm::postSucceed(const QString& tipsStr)
{
    QMetaObject::invokeMethod(this, "succeed", Qt::AutoConnection, Q_ARG(QString, tipsStr));
}

void ProgressForm::showTip(const QString& info)
{
    QMetaObject::invokeMethod(this, "tipsWait", Qt::AutoConnection, Q_ARG(QString, info));
}

void ProgressForm::accept()
{
}

void ProgressForm::reject()
{
}

void ProgressForm::updateProgress(const QString& status, int curProgress, const QString& progressText)
{
    if (!status.isEmpty())
        ui->lbStatus->setText(status);
    const int value = curProgress < 0 ? ui->progressBar->value() : curProgress;
    ui->progressBar->setValue(value);
    ui->lbProgress->setText(progressText.isEmpty() ? QStringLiteral("Progress:%1%").arg(value) : progressText);
}

void ProgressForm::errorOccurred(const QString& err)
{
    errorText = err;
    showError(err);
    done(0);
}

void ProgressForm::succeed(const QString& tipsStr)
{
    // A worker that finished just after a cancel: the user has been told nothing happened,
    // and the dialog's result must stay the cancel.
    if (rejected)
        return;
    if (!tipsStr.isEmpty())
        showInfo(tipsStr);
    done(1);
}

void ProgressForm::onFinish(int result)
{
    if (result == 0)
        markRejected();
    else
        rejected = false;
}

void ProgressForm::tipsWait(const QString& info)
{
    // After a cancel or an error the worker no longer waits for this tip.
    if (!rejected)
        showInfo(info);
    endTipWait();
}

void ProgressForm::cancel()
{
    emit userCacel();
    done(0);
}
