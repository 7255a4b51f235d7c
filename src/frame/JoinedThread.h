#pragma once

#include <QMetaObject>
#include <QThread>

#include <atomic>

#include <sys/types.h>

// Starts a QThread and joins it whole. QThread::wait() returns once run() is over, while
// the thread is still on its way out, about to release Qt's data of that thread. Qt drops
// the key that releases it when the program ends, so a thread that leaves after that
// keeps its data for ever, and the leak checker rightly reports it. join() returns once
// the thread has left the process, so the program may end right after it.
class JoinedThread
{
public:
    explicit JoinedThread(QThread& thread);
    ~JoinedThread();
    JoinedThread(const JoinedThread&) = delete;
    JoinedThread& operator=(const JoinedThread&) = delete;

    void start(QThread::Priority priority = QThread::InheritPriority);
    void join();

private:
    QThread& m_thread;
    QMetaObject::Connection m_started;
    std::atomic<pid_t> m_kernelId{0};
};

// Waits until the thread of this kernel id has left the process.
void waitUntilThreadLeft(pid_t kernelId);
