#include "android/AndroidConnectWithWiFiThread.h"

#include "frame/ReportedRun.h"

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

AndroidConnectWithWiFiThread::AndroidConnectWithWiFiThread(const QString& host, WorkerReport* form, QObject* parent)
    : AndroidConnectThread(wifiDevice(host), form, parent)
{
}

void AndroidConnectWithWiFiThread::run()
{
    // A cancel ends the session with simpleprotocol::CancelledException, after the report
    // was rejected: runReported ends the run quietly then.
    runReported(*form, [this] { readDeviceInfoAndReport(tr("IDS_GET_ANDROID_DEVICE_INFO")); });
}
