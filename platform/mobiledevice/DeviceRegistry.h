#pragma once

#include "SimDevice.h"

#include "mobiledevice/abi.h"

// The phones of the folder SIMDEVICE_ROOT names, as a watcher thread sees them. Lives
// until the process ends, and is never destroyed, because the watcher may still run
// while the process exits.
class DeviceRegistry
{
public:
    static DeviceRegistry& instance();

    // Reads SIMDEVICE_ROOT and starts the watcher on the first call. The phones already
    // there are reported by the watcher, never from inside this call.
    void* subscribe(AMDeviceNotificationCallback callback, void* context);

    // The phone behind a handle while its folder is plugged in; null for a null handle,
    // one that is not ours, or a phone that left.
    SimDevice* attached(AMDeviceRef handle);

private:
    DeviceRegistry() = default;
    void watch();
    void scanOnce();
};
