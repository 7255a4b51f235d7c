#pragma once

#include <string>

// Descriptors handed to the program are 3 or above, because the program takes 0 for "no
// socket", and close-on-exec, so that the backup tool and adb never inherit them.
// Each returns the descriptor, or -1.
int connectRelay(const std::string& socketPath);
// The program's end of a new socket pair; *phoneEnd receives the other end.
int createServicePair(int* phoneEnd);
