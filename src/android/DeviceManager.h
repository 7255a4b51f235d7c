#pragma once

#include <QString>

// The device manager beside the program, which restarts a stuck adb server: its path, and
// the address of a link that runs it.
QString deviceManagerPath();
QString deviceManagerLink();
