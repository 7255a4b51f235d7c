#include "IosArrivals.h"

#include "Command.h"

#include "ios/IOSDevice.h"
#include "ios/mobiledevice_notification.h"

#include <QEventLoop>
#include <QTimer>

#include <cmath>
#include <optional>
#include <stdexcept>

IosArrivals::IosArrivals()
{
    mobiledevice_notification_context& context = mobiledevice_notification();
    context.receiver = this;
    context.connectedSlot = "iosDeviceConnected";
    context.disconnectedSlot = "iosDeviceDisconnected";
    mobiledevice_subscribe_notification(&context);
}

IosArrivals::~IosArrivals()
{
    mobiledevice_notification().receiver = nullptr;
}

void IosArrivals::wait(int waitMs, const std::function<bool(void*)>& found)
{
    QEventLoop loop;
    QTimer::singleShot(waitMs, &loop, &QEventLoop::quit);
    m_loop = &loop;
    m_found = found;
    loop.exec();
    m_loop = nullptr;
    m_found = nullptr;
}

void IosArrivals::iosDeviceConnected(void* handle)
{
    if (!attached.contains(handle))
        attached.append(handle);
    if (m_loop && m_found && m_found(handle))
        m_loop->quit();
}

void IosArrivals::iosDeviceDisconnected(void* handle)
{
    attached.removeAll(handle);
}

int takeWaitOption(QStringList& args)
{
    if (args.size() < 2 || args[args.size() - 2] != QLatin1String("--wait"))
        return 3000;
    const int waitMs = waitOptionMs(args.last());
    args.resize(args.size() - 2);
    return waitMs;
}

int waitOptionMs(const QString& text)
{
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !(seconds >= 0) || seconds > 86400)
        throw UsageError("--wait wants a number of seconds");
    return int(std::lround(seconds * 1000));
}

IOSDevice waitForIPhone(const QString& udid, int waitMs)
{
    // The phone is recognised by the identifier it reports, as the program reads it.
    std::optional<IOSDevice> device;
    QStringList unreadable;
    IosArrivals arrivals;
    arrivals.wait(waitMs, [&](void* handle) {
        try {
            const IOSDevice arrived = IOSDevice::read(handle);
            if (arrived.uniqueDeviceId == udid)
                device = arrived;
        } catch (const std::runtime_error& e) {
            unreadable << QString::fromUtf8(e.what());
        }
        return device.has_value();
    });
    if (!device) {
        QString text = QStringLiteral("the iPhone %1 did not arrive within %2 s").arg(udid).arg(waitMs / 1000.0);
        if (!unreadable.isEmpty())
            text += QStringLiteral("; a phone that arrived could not be read: ") + unreadable.first();
        throw std::runtime_error(text.toStdString());
    }
    return *device;
}
