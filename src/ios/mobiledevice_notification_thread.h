#pragma once

#include <QStringList>
#include <QThread>

#include <atomic>

// Relays one phone's system notifications as signals. start_service() runs on the
// owner's thread before start(); afterwards only this thread uses the socket, which it
// never closes (the owner does, after the thread has ended).
class mobiledevice_notification_thread : public QThread
{
    Q_OBJECT
public:
    // The device handle is borrowed.
    mobiledevice_notification_thread(void* device, QObject* parent = nullptr);

    // Starts the service and observes each name in order; throws std::runtime_error.
    void start_service(const QStringList& names);
    int socket() const { return m_socket; }
    // The thread ends after the read under way (up to 60 s when the phone is silent) and
    // one more second.
    void stop() { m_stop = true; }

signals:
    // Emitted on this thread: receivers elsewhere get it queued.
    void recNotification(QString cmd);

protected:
    void run() override;

private:
    void relayNotifications();

    std::atomic<bool> m_stop{false};
    void* m_device;
    int m_socket = 0;
};
