// The exported MobileDevice functions. Each call on a phone is appended to its calls.log
// as "<function> <result>", so that tests can assert the exact order of calls.

#include "CFBridge.h"
#include "CallLog.h"
#include "DeviceRegistry.h"
#include "Exports.h"
#include "FileRelayService.h"
#include "ServiceSockets.h"
#include "SimValues.h"

#include "mobiledevice/simdevice.h"

#include <thread>

namespace {

int logged(const SimDevice& device, const std::string& call, int result)
{
    appendCallLine(device.folder, call + " " + std::to_string(result));
    return result;
}

// Runs one call on an attached phone under its lock, with its values freshly read; a
// phone that is gone answers simDeviceNotConnected (or null) without logging.
template <class Result, class Call>
Result onDevice(AMDeviceRef handle, Result absent, Call call)
{
    SimDevice* device = DeviceRegistry::instance().attached(handle);
    if (!device)
        return absent;
    std::lock_guard<std::mutex> lock(device->mutex);
    std::optional<SimValues> values = SimValues::load(device->folder);
    if (!values)
        return absent;
    return call(*device, *values);
}

int startService(SimDevice& device, const SimValues& values, const std::string& name, int* socketOut)
{
    if (!device.connected)
        return simDeviceNotConnected;
    if (device.sessions == 0)
        return simDeviceSessionInactive;
    const ServiceAnswer answer = values.service(name);
    switch (answer.kind) {
    case ServiceAnswer::errorCode:
        return answer.code;
    case ServiceAnswer::relay: {
        const int fd = connectRelay(answer.relayPath);
        if (fd < 0)
            return simDeviceServiceUnreachable;
        rememberHandedSocket(device.sockets, fd);
        *socketOut = fd;
        return 0;
    }
    case ServiceAnswer::builtInFileRelay: {
        int phoneEnd = -1;
        const int fd = createServicePair(&phoneEnd);
        if (fd < 0)
            return simDeviceServiceUnreachable;
        rememberHandedSocket(device.sockets, fd);
        std::thread(serveFileRelay, device.folder, phoneEnd).detach();
        *socketOut = fd;
        return 0;
    }
    }
    return simDeviceUnknownService;
}

} // namespace

int AMDeviceNotificationSubscribe(AMDeviceNotificationCallback callback, unsigned, unsigned, void* context,
                                  void** subscriptionOut)
{
    void* subscription = DeviceRegistry::instance().subscribe(callback, context);
    if (subscriptionOut)
        *subscriptionOut = subscription;
    return 0;
}

int AMDeviceConnect(AMDeviceRef handle)
{
    return onDevice(handle, simDeviceNotConnected, [](SimDevice& device, SimValues& values) {
        const int result = values.resultKnob("ConnectResult");
        if (result == 0)
            device.connected = true; // connecting twice is harmless
        return logged(device, "AMDeviceConnect", result);
    });
}

int AMDeviceIsPaired(AMDeviceRef handle)
{
    return onDevice(handle, 0, [](SimDevice& device, SimValues& values) {
        return logged(device, "AMDeviceIsPaired", device.connected && values.paired() ? 1 : 0);
    });
}

int AMDevicePair(AMDeviceRef handle)
{
    return onDevice(handle, simDeviceNotConnected, [](SimDevice& device, SimValues& values) {
        int result = device.connected ? values.resultKnob("PairResult") : simDeviceNotConnected;
        if (result == 0 && !values.paired()) {
            // The user trusted this computer: later sessions and processes need not ask again.
            values.setPaired();
            if (!values.save())
                result = simDeviceNotPaired;
        }
        return logged(device, "AMDevicePair", result);
    });
}

int AMDeviceValidatePairing(AMDeviceRef handle)
{
    return onDevice(handle, simDeviceNotConnected, [](SimDevice& device, SimValues& values) {
        int result = device.connected ? values.resultKnob("ValidateResult") : simDeviceNotConnected;
        if (result == 0 && !values.paired())
            result = simDeviceNotPaired;
        return logged(device, "AMDeviceValidatePairing", result);
    });
}

int AMDeviceStartSession(AMDeviceRef handle)
{
    return onDevice(handle, simDeviceNotConnected, [](SimDevice& device, SimValues& values) {
        int result = device.connected ? values.resultKnob("StartSessionResult") : simDeviceNotConnected;
        if (result == 0 && !values.paired())
            result = simDeviceNotPaired;
        if (result == 0)
            ++device.sessions;
        return logged(device, "AMDeviceStartSession", result);
    });
}

int AMDeviceStopSession(AMDeviceRef handle)
{
    return onDevice(handle, simDeviceNotConnected, [](SimDevice& device, SimValues&) {
        const int result = device.sessions > 0 ? 0 : simDeviceSessionInactive;
        if (result == 0)
            --device.sessions;
        return logged(device, "AMDeviceStopSession", result);
    });
}

int AMDeviceDisconnect(AMDeviceRef handle)
{
    return onDevice(handle, simDeviceNotConnected, [](SimDevice& device, SimValues&) {
        const int result = device.connected ? 0 : simDeviceNotConnected;
        // Another thread's session on the same phone keeps the connection open.
        if (device.sessions == 0)
            device.connected = false;
        return logged(device, "AMDeviceDisconnect", result);
    });
}

int AMDeviceStartService(AMDeviceRef handle, CFStringRef serviceName, int* socketOut, void*)
{
    const std::string name = utf8Of(serviceName).value_or(std::string());
    return onDevice(handle, simDeviceNotConnected, [&](SimDevice& device, SimValues& values) {
        const int result = socketOut ? startService(device, values, name, socketOut) : simDeviceInvalidArgument;
        return logged(device, "AMDeviceStartService " + name, result);
    });
}

CFTypeRef AMDeviceCopyValue(AMDeviceRef handle, CFStringRef domain, CFStringRef key)
{
    const std::string domainText = domain ? utf8Of(domain).value_or(std::string()) : std::string();
    const std::string keyText = key ? utf8Of(key).value_or(std::string()) : std::string();
    return onDevice(handle, CFTypeRef(nullptr), [&](SimDevice& device, SimValues& values) {
        CFTypeRef value = device.sessions > 0 ? createValue(values.lockdownValue(domainText, keyText)) : nullptr;
        logged(device, "AMDeviceCopyValue", value ? 0 : -1);
        return value;
    });
}

int AMDeviceSetValue(AMDeviceRef handle, CFStringRef domain, CFStringRef key, CFTypeRef value)
{
    const std::string domainText = domain ? utf8Of(domain).value_or(std::string()) : std::string();
    const std::optional<std::string> keyText = utf8Of(key);
    return onDevice(handle, simDeviceNotConnected, [&](SimDevice& device, SimValues& values) {
        int result = device.sessions > 0 ? values.resultKnob("SetValueResult") : simDeviceSessionInactive;
        PlistNode node = plistOf(value);
        if (result == 0 && (!keyText || keyText->empty() || !node))
            result = simDeviceInvalidArgument;
        if (result == 0) {
            values.setLockdownValue(domainText, *keyText, std::move(node));
            if (!values.save())
                result = simDeviceNotConnected;
        }
        return logged(device, "AMDeviceSetValue", result);
    });
}

CFStringRef AMDeviceCopyDeviceIdentifier(AMDeviceRef handle)
{
    return onDevice(handle, CFStringRef(nullptr), [](SimDevice& device, SimValues&) {
        CFStringRef identifier = createString(device.udid);
        logged(device, "AMDeviceCopyDeviceIdentifier", identifier ? 0 : -1);
        return identifier;
    });
}
