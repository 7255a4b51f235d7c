#pragma once

#include "android/AndroidDevice.h"

#include <QString>

// The phone with this adb serial, reached as the window reaches a phone found on USB:
// the companion app installed when missing, then its device information read. Throws
// the connection thread's error.
AndroidDevice connectUsbPhone(const QString& serial);
