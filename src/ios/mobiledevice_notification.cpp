#include "ios/mobiledevice_notification.h"

#include "ios/mobiledevice_library.h"

#include <QCoreApplication>

#include <stdexcept>

namespace {

constexpr unsigned deviceArrived = 1;
constexpr unsigned deviceLeft = 2;

// Lives on the application's thread and is never destroyed. The library's thread posts its
// calls here, never to the receiver itself: a receiver destroyed between that thread's look
// at it and the post would leave a posted call to freed memory, which Qt touches when it
// clears the queue at exit.
QObject* notificationRelay()
{
    static QObject* const relay = [] {
        auto* object = new QObject;
        if (QCoreApplication* app = QCoreApplication::instance())
            object->moveToThread(app->thread());
        return object;
    }();
    return relay;
}

} // namespace

mobiledevice_notification_context& mobiledevice_notification()
{
    // Never destroyed: the library's thread may still call back while the process exits.
    static auto* context = new mobiledevice_notification_context;
    return *context;
}

void mobiledevice_subscribe_notification(mobiledevice_notification_context* context)
{
    if (!mobiledevice_frameworks_loaded()) {
        QString error;
        if (!mobiledevice_load_frameworks(error))
            throw std::runtime_error(error.toStdString());
    }
    void* subscription = nullptr;
    MOBILEDEVICE_FN(AMDeviceNotificationSubscribe)(mobiledevice_device_notification_callback, 0, 0, context,
                                                   &subscription);
}

void mobiledevice_device_notification_callback(const AMDeviceNotificationRecord* record, void* context)
{
    const auto* target = static_cast<const mobiledevice_notification_context*>(context);
    if (!record || !target)
        return;
    const unsigned message = record->message;
    void* device = static_cast<void*>(record->device);
    // The receiver is looked at on the relay's thread, where it lives and is destroyed.
    QMetaObject::invokeMethod(
        notificationRelay(),
        [target, message, device] {
            const char* slot = message == deviceArrived ? target->connectedSlot
                               : message == deviceLeft  ? target->disconnectedSlot
                                                        : nullptr;
            QObject* receiver = target->receiver.data();
            if (slot && receiver)
                QMetaObject::invokeMethod(receiver, slot, Qt::AutoConnection, Q_ARG(void*, device));
        },
        Qt::AutoConnection);
}
