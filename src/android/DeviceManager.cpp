#include "android/DeviceManager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

namespace {

constexpr int limitMs = 5000;
constexpr int stopCheckMs = 50;

} // namespace

QString deviceManagerPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/VeltrominexDeviceManager");
}

bool DeviceManagerRun::startedServer() const
{
    return saysServerStarted(said);
}

DeviceManagerRun runDeviceManager(const std::function<bool()>& stopRequested)
{
    DeviceManagerRun run;
    const QString path = deviceManagerPath();
    if (!QFileInfo(path).isExecutable()) {
        run.error = QStringLiteral("The device manager %1 was not found.").arg(path);
        return run;
    }
    QProcess manager;
    manager.start(path, {});
    if (!manager.waitForStarted(limitMs)) {
        run.error = manager.errorString();
        return run;
    }
    manager.closeWriteChannel();
    QElapsedTimer clock;
    clock.start();
    run.ran = true;
    while (!manager.waitForFinished(stopCheckMs) && manager.state() != QProcess::NotRunning) {
        if ((stopRequested && stopRequested()) || clock.elapsed() >= limitMs) {
            run.ran = false;
            run.error = QStringLiteral("The device manager was stopped after %1 ms.").arg(clock.elapsed());
            manager.kill();
            manager.waitForFinished(limitMs);
            break;
        }
    }
    if (run.ran)
        run.exitCode = manager.exitStatus() == QProcess::NormalExit ? manager.exitCode() : -1;
    run.said = QString::fromUtf8(manager.readAllStandardError()) + QString::fromUtf8(manager.readAllStandardOutput());
    return run;
}

bool saysServerStarted(const QString& text)
{
    return text.contains(QLatin1String("daemon started successfully"), Qt::CaseInsensitive);
}

QString deviceManagerLink()
{
    return QString::fromLatin1(deviceManagerLinkScheme) + QStringLiteral(":run");
}
