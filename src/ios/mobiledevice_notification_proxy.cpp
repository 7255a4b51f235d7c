#include "ios/mobiledevice_notification_proxy.h"

#include "ios/CFType.h"
#include "ios/IosLog.h"
#include "ios/mobiledevice_session.h"
#include "ios/mobiledevice_socket.h"

#include <QDebug>

#include <stdexcept>

namespace {

constexpr int timeoutMs = 60000;
constexpr int notificationTimeoutMs = 500;

CFType text(const char* value)
{
    return CFType::fromString(QString::fromLatin1(value));
}

CFType command(const char* name)
{
    CFType message = CFType::createDictionary();
    message.setValue(text("Command"), text(name));
    return message;
}

CFType namedCommand(const char* name, const QString& notification)
{
    CFType message = command(name);
    message.setValue(text("Name"), CFType::fromString(notification));
    return message;
}

QString commandOf(const CFType& message)
{
    return message.value(text("Command")).toString();
}

bool isCommand(const QString& received, const char* name)
{
    return received.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

} // namespace

void mobiledevice_notification_start_service(void* device, int& socket)
{
    mobiledevice_start_service(device, "com.apple.mobile.notification_proxy", &socket);
}

void mobiledevice_notification_observe(int socket, const QString& name)
{
    mobiledevice_sendmsg(socket, namedCommand("ObserveNotification", name), false, timeoutMs);
}

QString mobiledevice_notification_get_throw(int socket)
{
    const CFType message = mobiledevice_recmsg(socket, CFType(), notificationTimeoutMs);
    const QString received = commandOf(message);
    if (isCommand(received, "RelayNotification")) {
        const QString name = message.value(text("Name")).toString();
        qCDebug(lcIos, "mobiledevice_notification_get_throw, got notification %s.", qUtf8Printable(name));
        return name;
    }
    if (isCommand(received, "ProxyDeath"))
        throw std::runtime_error("ERROR: NotificationProxy died!");
    throw std::runtime_error(
        QStringLiteral("unknown NotificationProxy command '%1' received!").arg(received).toStdString());
}

void mobiledevice_notification_post(int socket, const QString& name)
{
    qCDebug(lcIos, "mobiledevice_notification_post, notification:%s", qUtf8Printable(name));
    mobiledevice_sendmsg(socket, namedCommand("PostNotification", name), false, timeoutMs);
    const CFType shutdown = command("Shutdown");
    mobiledevice_sendmsg(socket, shutdown, false, timeoutMs);
    const QString answer = commandOf(mobiledevice_recmsg(socket, shutdown, timeoutMs));
    if (!isCommand(answer, "ProxyDeath"))
        qCDebug(lcIos, "mobiledevice_notification_post, unexpected answer: %s", qUtf8Printable(answer));
}
