#include "ios/mobiledevice_notification_thread.h"

#include "ios/IosLog.h"
#include "ios/mobiledevice_notification_proxy.h"

#include <QDebug>

#include <cerrno>
#include <exception>

#include <sys/socket.h>

namespace {

// After a failed read: true when the phone has closed its end, so no read can succeed again.
bool peerClosed(int socket)
{
    char byte;
    ssize_t result;
    do {
        result = ::recv(socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    } while (result < 0 && errno == EINTR);
    return result == 0;
}

} // namespace

mobiledevice_notification_thread::mobiledevice_notification_thread(void* device, QObject* parent)
    : QThread(parent), m_device(device)
{
}

void mobiledevice_notification_thread::start_service(const QStringList& names)
{
    mobiledevice_notification_start_service(m_device, m_socket);
    for (const QString& name : names)
        mobiledevice_notification_observe(m_socket, name);
}

void mobiledevice_notification_thread::run()
{
    if (m_socket == 0) {
        qCDebug(lcIos, "mobiledevice_notification_thread::run, start service first.");
        return;
    }
    // Nothing may leave a thread: an exception here would end the process.
    try {
        relayNotifications();
    } catch (...) {
        qCDebug(lcIos, "mobiledevice_notification_thread::run, unknown failure");
    }
}

void mobiledevice_notification_thread::relayNotifications()
{
    m_stop = false;
    do {
        try {
            emit recNotification(mobiledevice_notification_get_throw(m_socket));
        } catch (const std::exception& e) {
            if (peerClosed(m_socket)) {
                qCDebug(lcIos, "mobiledevice_notification_thread::run, the phone closed the connection: %s", e.what());
                return;
            }
            qCDebug(lcIos, "mobiledevice_notification_thread::run, %s", e.what());
        }
        QThread::sleep(1);
    } while (!m_stop);
}
