#pragma once

#include <QString>

// The device manager beside the program, which starts again an adb server that does not
// answer: its path, and the address of a link that runs it.
QString deviceManagerPath();
QString deviceManagerLink();
