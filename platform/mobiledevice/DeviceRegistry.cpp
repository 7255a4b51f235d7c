#include "DeviceRegistry.h"

#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>

namespace {

constexpr auto scanInterval = std::chrono::milliseconds(100);

struct Subscription
{
    AMDeviceNotificationCallback callback;
    void* context;
    std::set<SimDevice*> reported;
};

struct Event
{
    AMDeviceNotificationCallback callback;
    void* context;
    AMDeviceNotificationRecord record;
};

struct State
{
    std::mutex mutex;
    std::string root;
    bool watching = false;
    std::map<std::string, SimDevice*> devices; // by UDID, never removed
    std::set<SimDevice*> present;
    std::vector<Subscription*> subscriptions;
};

// Never destroyed: the watcher thread outlives static destruction at exit.
State& state()
{
    static State* s = new State;
    return *s;
}

AMDeviceRef handleOf(SimDevice* device)
{
    return reinterpret_cast<AMDeviceRef>(device);
}

// A phone is a subfolder that holds values.plist; its name is the UDID.
std::set<std::string> attachedUdids(const std::string& root)
{
    std::set<std::string> udids;
    DIR* dir = root.empty() ? nullptr : ::opendir(root.c_str());
    if (!dir)
        return udids;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat info;
        if (::stat((root + "/" + name + "/values.plist").c_str(), &info) == 0 && S_ISREG(info.st_mode))
            udids.insert(name);
    }
    ::closedir(dir);
    return udids;
}

} // namespace

DeviceRegistry& DeviceRegistry::instance()
{
    static DeviceRegistry* registry = new DeviceRegistry;
    return *registry;
}

void* DeviceRegistry::subscribe(AMDeviceNotificationCallback callback, void* context)
{
    State& s = state();
    auto* subscription = new Subscription{callback, context, {}};
    std::lock_guard<std::mutex> lock(s.mutex);
    const char* root = std::getenv("SIMDEVICE_ROOT");
    s.root = root ? root : "";
    s.subscriptions.push_back(subscription);
    if (!s.watching) {
        s.watching = true;
        std::thread([this] { watch(); }).detach();
    }
    return subscription;
}

SimDevice* DeviceRegistry::attached(AMDeviceRef handle)
{
    State& s = state();
    auto* device = reinterpret_cast<SimDevice*>(handle);
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.present.count(device) ? device : nullptr;
}

void DeviceRegistry::watch()
{
    for (;;) {
        scanOnce();
        std::this_thread::sleep_for(scanInterval);
    }
}

void DeviceRegistry::scanOnce()
{
    State& s = state();
    std::string root;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        root = s.root;
    }
    const std::set<std::string> udids = attachedUdids(root);

    std::vector<Event> events;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        std::set<SimDevice*> present;
        std::vector<SimDevice*> presentByUdid;
        for (const std::string& udid : udids) {
            SimDevice*& device = s.devices[udid];
            if (!device)
                device = new SimDevice;
            const std::string folder = root + "/" + udid;
            if (device->folder != folder) { // only this thread writes it
                std::lock_guard<std::mutex> deviceLock(device->mutex);
                device->udid = udid;
                device->folder = folder;
            }
            present.insert(device);
            presentByUdid.push_back(device);
        }
        for (SimDevice* device : s.present) {
            if (!present.count(device)) {
                std::lock_guard<std::mutex> deviceLock(device->mutex);
                device->connected = false;
                device->sessions = 0;
                breakHandedSockets(device->sockets);
            }
        }
        s.present = present;
        for (Subscription* subscription : s.subscriptions) {
            for (SimDevice* device : presentByUdid) {
                if (subscription->reported.insert(device).second)
                    events.push_back({subscription->callback, subscription->context, {handleOf(device), 1}});
            }
            for (auto it = subscription->reported.begin(); it != subscription->reported.end();) {
                if (present.count(*it)) {
                    ++it;
                    continue;
                }
                events.push_back({subscription->callback, subscription->context, {handleOf(*it), 2}});
                it = subscription->reported.erase(it);
            }
        }
    }
    // Outside the lock: a callback may call back into the library.
    for (const Event& event : events)
        event.callback(&event.record, event.context);
}
