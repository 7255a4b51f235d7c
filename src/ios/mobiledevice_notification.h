#pragma once

// iPhone arrival and removal: the device library calls back on a thread of its own; the
// callback hands the handle on, as the one "void*" argument, to the receiver's slots.

#include "mobiledevice/abi.h"

#include <QObject>
#include <QPointer>

struct mobiledevice_notification_context
{
    // Guarded: a notification during exit finds the receiver gone instead of dangling.
    QPointer<QObject> receiver;
    const char* connectedSlot = "";
    const char* disconnectedSlot = "";
};

// The process's one context, alive until the process ends (the library keeps its address).
mobiledevice_notification_context& mobiledevice_notification();

// Loads the libraries when they are not loaded yet (throws std::runtime_error with the
// loader's text when that fails) and subscribes for the rest of the run. The phones already
// attached are reported afterwards, never from inside this call.
void mobiledevice_subscribe_notification(mobiledevice_notification_context* context);

// Message 1 invokes connectedSlot, 2 disconnectedSlot, anything else nothing; the receiver
// is looked at and called on the application's thread, never on the library's.
void mobiledevice_device_notification_callback(const AMDeviceNotificationRecord* record, void* context);
