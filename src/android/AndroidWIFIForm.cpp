#include "android/AndroidWIFIForm.h"

#include "android/AndroidConnectWithWiFiThread.h"

#include "frame/MessageBox.h"
#include "frame/ProgressForm.h"
#include "frame/RunWorker.h"
#include "frame/GrowToText.h"
#include "frame/StyleSheet.h"
#include "ui_AndroidWIFIForm.h"

#include <QRegularExpression>

AndroidWIFIForm::AndroidWIFIForm(QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::AndroidWIFIForm>())
    , movable(this)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    // The leading blank keeps the rule apart from the application sheet's last one.
    setStyleSheet(appStyleSheet()
                  + QStringLiteral(" #lbTipsDownloadWifiConnection { font-size:9px; color:#767B7C; margin:0 10px;}"));
    connect(ui->btnConnect, &QPushButton::pressed, this, &AndroidWIFIForm::onBtnConnect);
    growToText(*this);
}

AndroidWIFIForm::~AndroidWIFIForm() = default;

QString wifiHostFromInput(const QString& typed)
{
    static const QRegularExpression address(QRegularExpression::anchoredPattern(
        QStringLiteral("(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})")));
    const QRegularExpressionMatch match = address.match(typed.trimmed());
    if (!match.hasMatch())
        return QString();
    for (int group = 1; group <= 4; ++group) {
        if (match.captured(group).toInt() > 255)
            return QString();
    }
    return match.captured(0);
}

void AndroidWIFIForm::onBtnConnect()
{
    const QString host = wifiHostFromInput(ui->txtWifiSocket->text());
    if (host.isEmpty()) {
        showWarning(tr("IDS_WIFI_SOCK_WRONG_FOR_EXAMPLE"));
        return;
    }
    ProgressForm progress(tr("IDS_CONNECTING_ANDROID_DEVICE"), this);
    AndroidConnectWithWiFiThread thread(host, &progress, this);
    if (runWorker(thread, progress).result != WorkerOutcome::Succeeded)
        return; // the progress dialog has shown why
    device = thread.device();
    accept();
}
