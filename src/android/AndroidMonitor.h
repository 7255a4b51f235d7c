#pragma once

#include "android/AdbClient.h"
#include "android/AdbDevice.h"

#include <QFuture>
#include <QSet>
#include <QString>
#include <QThread>

#include <atomic>

// Watches adb's device list from a task on the global thread pool (its own thread never
// starts) and announces each serial once when it appears, in whatever state, and once
// when it is gone. Lives on the GUI thread, so connected slots run there.
class AndroidMonitor : public QThread
{
    Q_OBJECT

public:
    // adbLimits: how long each adb call may run; tests shorten it.
    explicit AndroidMonitor(QObject* parent, AdbTimeLimits adbLimits = {});
    // Waits for the running pass and stops the adb server when this monitor started it.
    ~AndroidMonitor() override;

    void start();
    // Phones announced and not withdrawn. Any thread.
    int knownDeviceCount() const;

    // The pause between two passes (3000 ms); tests shorten it.
    static void setPollInterval(int ms);

signals:
    void deviceConnected(const AdbDevice& dev);
    void deviceDisconnected(const QString& devid);
    // Once, after the start: no adb on PATH, so no phone can be found.
    void adbUnavailable(const QString& text);
    // After each pass over adb's device list and the signals it sent. failure: empty when
    // adb listed the phones, else why it did not; a failed pass changes nothing.
    void passDone(const QString& failure);

private:
    void monitor();
    // Returns whether adb said it started its server.
    bool startServer();
    // Runs it for at most 5 s and logs what it says.
    void runDeviceManager();
    // Returns the failure, empty when adb listed the phones.
    QString pollOnce();
    // Returns false when the stop flag was set meanwhile.
    bool pause();

    const AdbTimeLimits adbLimits;
    std::atomic<bool> stopFlag{false};
    QSet<QString> knownDevices; // pool thread only
    std::atomic<int> knownCount{0};
    std::atomic<bool> startedServer{false};
    QFuture<void> pollTask;
};
