#include "ui/MainWindow.h"

#include "android/AndroidMonitor.h"
#include "android/DeviceManager.h"
#include "android/DeviceManagerThread.h"
#include "frame/DataFolder.h"
#include "frame/MakerServer.h"
#include "frame/MessageBox.h"
#include "frame/ProgressForm.h"
#include "frame/RunWorker.h"
#include "frame/ShellOpen.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QPointer>

#include <functional>
#include <utility>

namespace {

// Queues a call to the context once the box closes: when it hides, or at the latest when
// it goes. Lives as the box's child.
class AfterBoxCloses : public QObject
{
public:
    AfterBoxCloses(QWidget* box, QObject* context, std::function<void()> call)
        : QObject(box)
        , context(context)
        , call(std::move(call))
    {
        box->installEventFilter(this);
    }
    ~AfterBoxCloses() override { queueCall(); }

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Hide)
            queueCall();
        return false;
    }

private:
    void queueCall()
    {
        if (call && context)
            QMetaObject::invokeMethod(context, std::exchange(call, {}), Qt::QueuedConnection);
    }

    QPointer<QObject> context;
    std::function<void()> call;
};

QString androidTipsText()
{
    const QString howTo = QStringLiteral("<a href=\"%1\">How to</a>?<br/><br/>");
    const QString debugging =
        makerServerUrl(QStringLiteral("tutorial/enable-usb-debugging-on-android.html")).toString(QUrl::FullyEncoded);
    const QString driver =
        makerServerUrl(QStringLiteral("install-usb-driver-software-for-android.html")).toString(QUrl::FullyEncoded);
    return QStringLiteral("<b>Android device not found.</b><br/><br/>")
           + QStringLiteral("Want to connect Android device? If yes, please follow these steps:<br/><br/>")
           + QStringLiteral("* Enable USB debugging on your Android device. ") + howTo.arg(debugging)
           + QStringLiteral("* Install USB driver software on your computer. ") + howTo.arg(driver)
           + QStringLiteral("* Click <a href=\"%1\">HERE</a> to run Veltrominex Device Manager to try again.<br/><br/>")
                 .arg(deviceManagerLink());
}

} // namespace

void MainWindow::runDeviceManagerFromLink(const QUrl&)
{
    ProgressForm form(tr("Running Veltrominex Device Manager..."), this);
    DeviceManagerThread thread(&form, nullptr);
    runWorker(thread, form);
}

void MainWindow::miHelp()
{
    QDesktopServices::openUrl(makerServerUrl(QStringLiteral("message-transfer/help.html")));
}

void MainWindow::miFeedback()
{
    QDesktopServices::openUrl(makerServerUrl(QStringLiteral("support.html")));
}

void MainWindow::miHome()
{
    // Nothing is connected to this slot, and an empty address opens nothing.
    shellOpen(QString());
}

void MainWindow::miOpenDbFolder()
{
    openInExplorer(localDatabasesDir().absolutePath());
}

void MainWindow::androidUsbTips()
{
    // A phone adb lists in any state, unauthorised or offline too, is a phone found.
    if (androidMonitor && androidMonitor->knownDeviceCount() > 0)
        return;
    // Another box (a phone's arrival, an action's progress) holds the user: tips stacked
    // on top of it would hide what it asks, so they wait until it closes, and ask adb again.
    if (QWidget* box = QApplication::activeModalWidget()) {
        new AfterBoxCloses(box, this, [this] { androidUsbTips(); });
        return;
    }
    showInfo(androidTipsText());
}
