#pragma once

#include <QString>

#include <functional>

// The device manager beside the program, which starts again an adb server that does not
// answer and says where a phone's USB permission comes from.
QString deviceManagerPath();

// What one run of the device manager said, its error stream before its output.
struct DeviceManagerRun
{
    bool ran = false;      // it started and ended by itself, before the time limit
    int exitCode = -1;     // when it ran
    QString said;          // empty when it never started; then error says why
    QString error;
    // adb said it started its server: the server that answers now was started by this run.
    bool startedServer() const;
};

// Runs it as a child of ours, the program beside the executable with no shell, for at
// most 5 s; stopRequested, asked every few milliseconds, ends it sooner. Only the script
// is ended then: an adb it started carries on by itself. Any thread.
DeviceManagerRun runDeviceManager(const std::function<bool()>& stopRequested = {});

// Whether adb's words say it started its server.
bool saysServerStarted(const QString& text);

// The address of a link that runs the device manager from a box. Its scheme is our own:
// the window handles it (the desktop would open the script as a text, or nothing).
inline constexpr char deviceManagerLinkScheme[] = "veltrominex-device-manager";
QString deviceManagerLink();
