#include "Command.h"

#include "android/AndroidMonitor.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QTimer>

#include <stdexcept>

namespace {

constexpr int defaultWaitSeconds = 4;

int waitSeconds(const QStringList& args)
{
    if (args.isEmpty())
        return defaultWaitSeconds;
    bool ok = false;
    const int seconds = args.size() == 2 && args[0] == QLatin1String("--wait") ? args[1].toInt(&ok) : -1;
    if (!ok || seconds < 0)
        throw UsageError("expected --wait SECONDS, a whole number of seconds");
    return seconds;
}

// Runs the monitor as the window does, with queued signals on this thread's event loop,
// and lists the phones it announced and had not withdrawn when the wait ended. The wait
// starts after the first pass, so that starting the adb server does not eat it. Without
// adb, or when adb cannot list the phones at the first pass, it fails, where the window
// only logs or tries again: an empty list would say that no phone is there.
QJsonValue androidDevices(const QStringList& args)
{
    const int seconds = waitSeconds(args);
    qRegisterMetaType<AdbDevice>("AdbDevice");
    QMap<QString, QString> present; // serial -> state it was announced in
    QString unavailable;
    QString firstPassFailure;
    {
        AndroidMonitor monitor(nullptr);
        QEventLoop loop;
        QObject::connect(&monitor, &AndroidMonitor::deviceConnected, &monitor,
                         [&present](const AdbDevice& dev) { present.insert(dev.devid, dev.state); });
        QObject::connect(&monitor, &AndroidMonitor::deviceDisconnected, &monitor,
                         [&present](const QString& devid) { present.remove(devid); });
        QObject::connect(&monitor, &AndroidMonitor::adbUnavailable, &loop, [&unavailable, &loop](const QString& text) {
            unavailable = text;
            loop.quit();
        });
        QObject::connect(
            &monitor, &AndroidMonitor::passDone, &loop,
            [&loop, &firstPassFailure, seconds](const QString& failure) {
                firstPassFailure = failure;
                if (!failure.isEmpty())
                    loop.quit();
                else
                    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
            },
            Qt::SingleShotConnection);
        monitor.start();
        loop.exec();
    }
    if (!unavailable.isEmpty())
        throw std::runtime_error(unavailable.toStdString());
    if (!firstPassFailure.isEmpty())
        throw std::runtime_error(
            QStringLiteral("adb could not list the phones. %1").arg(firstPassFailure.trimmed()).toStdString());
    QJsonArray phones;
    for (auto it = present.cbegin(); it != present.cend(); ++it)
        phones.append(QJsonObject{{"serial", it.key()}, {"state", it.value()}});
    return phones;
}

} // namespace

MSGTOOL_COMMAND("android-devices", "[--wait SECONDS]", androidDevices);
