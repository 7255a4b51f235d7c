#include "android/AndroidMonitor.h"

#include "android/AdbClient.h"
#include "android/AndroidLog.h"
#include "android/DeviceManager.h"

#include <QElapsedTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <exception>

namespace {

std::atomic<int> pollIntervalMs{3000};
constexpr int stopCheckMs = 100;

} // namespace

AndroidMonitor::AndroidMonitor(QObject* parent, AdbTimeLimits adbLimits)
    : QThread(parent)
    , adbLimits(adbLimits)
{
}

AndroidMonitor::~AndroidMonitor()
{
    qCDebug(lcAndroid, "%s", "~AndroidMonitor begin");
    stopFlag = true;
    pollTask.waitForFinished();
    // A server that someone else started serves them too.
    if (startedServer) {
        try {
            AdbClient(adbLimits).adb_kill_server();
        } catch (const std::exception& e) {
            qCWarning(lcAndroid, "adb kill-server: %s", e.what());
        }
    }
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
    if (!AdbClient::isOnPath()) {
        // Only logged in the window: a user without an Android phone needs no box about adb.
        const QString text = QStringLiteral("adb was not found");
        qCWarning(lcAndroid, "%s", qUtf8Printable(text));
        emit adbUnavailable(text);
    }
    while (!stopFlag) {
        emit passDone(pollOnce());
        if (!pause())
            break;
    }
}

bool AndroidMonitor::startServer()
{
    QString said;
    try {
        said = AdbClient(adbLimits).adb_run({QStringLiteral("start-server")}, false);
    } catch (const std::exception& e) {
        qCWarning(lcAndroid, "adb start-server: %s", e.what());
        return false;
    }
    const bool started = saysServerStarted(said);
    if (started)
        startedServer = true;
    return started;
}

// The device manager starts a server that does not answer; it is optional beside the
// program. Its words go to the log: standard output belongs to whoever runs the program
// (msgtool prints its JSON there).
void AndroidMonitor::runDeviceManager()
{
    const DeviceManagerRun run = ::runDeviceManager([this] { return stopFlag.load(); });
    if (!run.error.isEmpty())
        qCWarning(lcAndroid, "device manager: %s", qUtf8Printable(run.error));
    for (const QString& line : run.said.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        qCInfo(lcAndroid, "device manager: %s", qUtf8Printable(line));
    // It starts a server only when none answered; that one was started for us.
    if (run.startedServer())
        startedServer = true;
}

QString AndroidMonitor::pollOnce()
{
    QList<AdbDevice> devices;
    try {
        devices = AdbClient(adbLimits).adb_devices();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what()); // the next pass comes soon
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
    return QString();
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
