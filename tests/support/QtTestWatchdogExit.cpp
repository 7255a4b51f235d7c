// Qt Test runs each test object under a watchdog thread, "QtTest Watchdog", that qExec
// waits for with QThread::wait() and so may still be leaving when main returns (see
// frame/JoinedThread.h). This object is destroyed after main returns and before Qt's own
// teardown, and waits until that thread has left, so the leak checker never meets its data
// half released.

#include "frame/JoinedThread.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

namespace {

struct WaitForQtTestWatchdog
{
    ~WaitForQtTestWatchdog()
    {
        const QDir tasks(QStringLiteral("/proc/self/task"));
        for (const QString& id : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile name(tasks.filePath(id) + QStringLiteral("/comm"));
            if (name.open(QIODevice::ReadOnly) && name.readAll().trimmed() == "QtTest Watchdog")
                waitUntilThreadLeft(pid_t(id.toInt()));
        }
    }
} waitForQtTestWatchdog;

} // namespace
