#include "android/AndroidMonitor.h"

#include "android/AdbClient.h"
#include "android/AndroidLog.h"
#include "android/DeviceManager.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QtConcurrent/QtConcurrentRun>

#include <signal.h>

#include <algorithm>
#include <exception>

namespace {

std::atomic<int> pollIntervalMs{3000};
constexpr int stopCheckMs = 100;
constexpr int deviceManagerLimitMs = 5000;

bool processRuns(qint64 pid)
{
    return ::kill(pid_t(pid), 0) == 0;
}

} // namespace

AndroidMonitor::AndroidMonitor(QObject* parent)
    : QThread(parent)
{
}

AndroidMonitor::~AndroidMonitor()
{
    qCDebug(lcAndroid, "%s", "~AndroidMonitor begin");
    stopFlag = true;
    pollTask.waitForFinished();
    // A server that someone else started serves them too.
    if (startedServer)
        AdbClient().adb_kill_server();
    qCDebug(lcAndroid, "%s", "~AndroidMonitor end");
}

void AndroidMonitor::start()
{
    pollTask = QtConcurrent::run(&AndroidMonitor::monitor, this);
}

int AndroidMonitor::knownDeviceCount() const
{
    return knownCount;
}

void AndroidMonitor::setPollInterval(int ms)
{
    pollIntervalMs = ms;
}

void AndroidMonitor::monitor()
{
    if (!startServer()) {
        runDeviceManager();
        startServer();
    }
    while (!stopFlag) {
        pollOnce();
        if (!pause())
            break;
    }
}

bool AndroidMonitor::startServer()
{
    const QString said = AdbClient().adb_run({QStringLiteral("start-server")}, false);
    const bool started = said.contains(QLatin1String("daemon started successfully"), Qt::CaseInsensitive);
    if (started)
        startedServer = true;
    return started;
}

// The device manager restarts a stuck adb server; it is optional beside the program.
void AndroidMonitor::runDeviceManager()
{
    const QString path = deviceManagerPath();
    if (!QFileInfo(path).isExecutable())
        return;
    qint64 pid = 0;
    if (!QProcess::startDetached(path, {}, QString(), &pid))
        return;
    QElapsedTimer clock;
    clock.start();
    while (processRuns(pid) && clock.elapsed() < deviceManagerLimitMs && !stopFlag)
        QThread::msleep(stopCheckMs);
}

void AndroidMonitor::pollOnce()
{
    QList<AdbDevice> devices;
    try {
        devices = AdbClient().adb_devices();
    } catch (const std::exception&) {
        return; // a failed pass changes nothing; the next one comes soon
    }
    QSet<QString> seen;
    for (const AdbDevice& device : std::as_const(devices)) {
        seen.insert(device.devid);
        if (knownDevices.contains(device.devid))
            continue;
        emit deviceConnected(device);
        knownDevices.insert(device.devid);
        knownCount = int(knownDevices.size());
    }
    const QSet<QString> gone = QSet<QString>(knownDevices).subtract(seen);
    QStringList goneSorted(gone.begin(), gone.end());
    goneSorted.sort();
    for (const QString& devid : std::as_const(goneSorted)) {
        knownDevices.remove(devid);
        knownCount = int(knownDevices.size());
        emit deviceDisconnected(devid);
    }
}

bool AndroidMonitor::pause()
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (stopFlag)
            return false;
        const qint64 left = pollIntervalMs - clock.elapsed();
        if (left <= 0)
            return true;
        QThread::msleep(std::min<qint64>(left, stopCheckMs));
    }
}
