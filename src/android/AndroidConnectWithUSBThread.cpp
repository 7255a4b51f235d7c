#include "android/AndroidConnectWithUSBThread.h"

#include "android/AdbClient.h"
#include "android/CompanionPackage.h"
#include "android/DeviceManager.h"

#include "frame/ErrorMarkup.h"
#include "frame/ReportedRun.h"
#include "frame/WorkerReport.h"

#include <QElapsedTimer>

#include <stdexcept>

namespace {

AndroidDevice usbDevice(const QString& serial)
{
    AndroidDevice device;
    device.serial = serial;
    device.isWifi = false;
    return device;
}

// The app needs a moment after an install before it answers a broadcast.
constexpr int afterInstallPauseMs = 5000;
constexpr int pauseSliceMs = 100;

} // namespace

AndroidConnectWithUSBThread::AndroidConnectWithUSBThread(const QString& serial, WorkerReport* form, QObject* parent)
    : AndroidConnectThread(usbDevice(serial), form, parent)
{
}

void AndroidConnectWithUSBThread::run()
{
    form->postProgress(tr("IDS_CHECKING_APK_INSTALL"), -1, QString());
    runReported(*form, [this] {
        try {
            const QSet<QString> packages = AdbClient().adb_list_packages(record.serial);
            // An empty list means adb could not tell; the session then shows whether the app is there.
            if (!packages.isEmpty() && !packages.contains(QLatin1String(companionPackage))) {
                if (form->rejected)
                    return;
                if (!installCompanion())
                    return;
            }
            if (form->rejected)
                return;
            readDeviceInfoAndReport(tr("IDS_GET_ANDROID_DEVICE_INFO"));
        } catch (const simpleprotocol::CancelledException&) {
            throw RunCancelled();
        } catch (const std::exception& e) {
            // What went wrong comes after what the user can do about it.
            throw MarkupError(adviceText() + errorMarkup(e));
        }
    });
}

bool AndroidConnectWithUSBThread::installCompanion()
{
    try {
        AdbClient().adb_install(record.serial, copyCompanionPackage());
    } catch (const std::exception& e) {
        form->postError(tr("Please go to Google Play on your Android Phone to download and install Veltrominex SMS "
                           "Sync first and then try again. <br/><br/>Error:")
                        + errorMarkup(e));
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < afterInstallPauseMs && !form->rejected)
        QThread::msleep(pauseSliceMs);
    return true;
}

QString AndroidConnectWithUSBThread::adviceText() const
{
    const QString deviceManager = deviceManagerLink();
    return tr("Please try the following:<br/><br/>")
        + tr("1 Go to Google Play on your phone to download and installed the latest version Veltrominex SMS "
             "Sync.<br/><br/>")
        + tr("2 click <a href=\"%1\"><b>HERE</b></a> to run Veltrominex Device Manager and then restart your phone "
             "to try again.<br/><br/>")
              .arg(deviceManager);
}
