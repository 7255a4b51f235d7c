#include "android/AndroidConnectWithWiFiThread.h"

#include "frame/ProgressForm.h"

#include <exception>

namespace {

AndroidDevice wifiDevice(const QString& host)
{
    AndroidDevice device;
    device.isWifi = true;
    device.host = host;
    device.port = wifiLauncherPort;
    return device;
}

} // namespace

AndroidConnectWithWiFiThread::AndroidConnectWithWiFiThread(const QString& host, ProgressForm* form, QObject* parent)
    : AndroidConnectThread(wifiDevice(host), form, parent)
{
}

void AndroidConnectWithWiFiThread::run()
{
    try {
        readDeviceInfoAndReport(tr("IDS_GET_ANDROID_DEVICE_INFO"));
    } catch (const simpleprotocol::CancelledException&) {
        return; // the dialog is already closed
    } catch (const std::exception& e) {
        form->postError(QString::fromUtf8(e.what()));
    }
}
