#include "ios/mobiledevice_notification.h"

#include "ios/mobiledevice_library.h"

#include <stdexcept>

namespace {

constexpr unsigned deviceArrived = 1;
constexpr unsigned deviceLeft = 2;

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
    const char* slot = nullptr;
    if (record->message == deviceArrived)
        slot = target->connectedSlot;
    else if (record->message == deviceLeft)
        slot = target->disconnectedSlot;
    QObject* receiver = target->receiver.data();
    if (!slot || !receiver)
        return;
    QMetaObject::invokeMethod(receiver, slot, Qt::AutoConnection, Q_ARG(void*, static_cast<void*>(record->device)));
}
