#include "IosArrivals.h"

#include "Command.h"

#include "ios/mobiledevice_notification.h"

#include <QEventLoop>
#include <QTimer>

#include <cmath>

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
    bool ok = false;
    const double seconds = args.last().toDouble(&ok);
    if (!ok || !(seconds >= 0) || seconds > 86400)
        throw UsageError("--wait wants a number of seconds");
    args.resize(args.size() - 2);
    return int(std::lround(seconds * 1000));
}
