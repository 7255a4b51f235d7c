#pragma once

#include "ServiceSockets.h"

#include <mutex>
#include <string>
#include <vector>

// One per UDID for the life of the process: the handle the program holds. A phone that
// leaves and comes back gets the same one.
struct SimDevice
{
    // Guards every field, and every read-modify-write of values.plist.
    std::mutex mutex;
    std::string udid;
    std::string folder;
    bool connected = false;
    int sessions = 0;
    // The program's ends of the service sockets handed out while it is attached: a phone
    // that leaves breaks them.
    std::vector<HandedSocket> sockets;
};
