#pragma once

#include <string>

// The phone side of the built-in "com.apple.mobile.file_relay" service. Runs on its own
// detached thread and owns socket: it closes it when done.
void serveFileRelay(const std::string& deviceFolder, int socket);
