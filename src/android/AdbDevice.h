#pragma once

#include <QMetaType>
#include <QString>

// One line of adb's device list. Travels by value through queued signals, so the creator
// of a connection registers it as "AdbDevice".
struct AdbDevice
{
    QString line;  // the whole line, trimmed
    QString devid; // the serial, everything before the line's first tab
    QString state; // adb's word for it: "device", "offline", "unauthorized" ...

    bool isReady() const;
    bool isUnusable() const;
};

Q_DECLARE_METATYPE(AdbDevice)
