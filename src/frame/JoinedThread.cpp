#include "frame/JoinedThread.h"

#include "frame/FrameLog.h"

#include <QDeadlineTimer>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

JoinedThread::JoinedThread(QThread& thread)
    : m_thread(thread)
{
    // started is emitted on the new thread itself, so it can tell its own kernel id.
    m_started = QObject::connect(
        &thread, &QThread::started, &thread, [this] { m_kernelId = gettid(); }, Qt::DirectConnection);
}

JoinedThread::~JoinedThread()
{
    QObject::disconnect(m_started);
}

void JoinedThread::start(QThread::Priority priority)
{
    m_kernelId = 0;
    m_thread.start(priority);
}

void JoinedThread::join()
{
    m_thread.wait();
    if (const pid_t id = m_kernelId.exchange(0))
        waitUntilThreadLeft(id);
}

void waitUntilThreadLeft(pid_t kernelId)
{
    // The kernel takes a thread out of /proc/self/task once it has ended; a thread past
    // its run needs microseconds for that, a loaded machine a few milliseconds.
    const QByteArray task = "/proc/self/task/" + QByteArray::number(kernelId);
    QDeadlineTimer limit(10000);
    struct stat st;
    while (::stat(task.constData(), &st) == 0) {
        if (limit.hasExpired()) {
            qCWarning(lcFrame, "thread %d has not left after 10 s", int(kernelId));
            return;
        }
        ::usleep(500);
    }
}
