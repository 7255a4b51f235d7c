#pragma once

#include <QList>
#include <QObject>
#include <QStringList>

#include <functional>

class IOSDevice;
class QEventLoop;

// iPhone arrival as the main window learns of it: subscribes with this object as the
// receiver (throwing the loader's text when the device libraries cannot be loaded) and
// keeps the attached phones in arrival order.
class IosArrivals : public QObject
{
    Q_OBJECT

public:
    IosArrivals();
    ~IosArrivals() override;

    // Runs the event loop for waitMs, or until found returns true for a phone that arrives.
    void wait(int waitMs, const std::function<bool(void*)>& found = {});

    QList<void*> attached;

public slots:
    void iosDeviceConnected(void* handle);
    void iosDeviceDisconnected(void* handle);

private:
    std::function<bool(void*)> m_found;
    QEventLoop* m_loop = nullptr;
};

// Takes "--wait SECONDS" from the end of args: milliseconds, 3000 without the option.
// Throws UsageError for a bad number.
int takeWaitOption(QStringList& args);
// The milliseconds of the value of "--wait"; throws UsageError for a bad number.
int waitOptionMs(const QString& seconds);

// The phone that reports udid, read as the arrival reads it, once it arrived within
// waitMs. Throws std::runtime_error when it did not.
IOSDevice waitForIPhone(const QString& udid, int waitMs);
