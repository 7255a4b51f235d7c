#include "ios/mobiledevice_link.h"

#include "ios/IosLog.h"
#include "ios/mobiledevice_socket.h"

#include <QDebug>

#include <stdexcept>

namespace {

constexpr int timeoutMs = 60000;

QString xmlOf(const CFType& message)
{
    return QString::fromUtf8(message.toData(kCFPropertyListXMLFormat_v1_0));
}

// Element 0 as text: empty for anything but an array starting with a string.
QString nameOf(const CFType& message)
{
    return message.at(0).toString();
}

CFType messageOf(const char* name)
{
    CFType message = CFType::createArray();
    message.append(CFType::fromString(QString::fromLatin1(name)));
    return message;
}

} // namespace

void mobiledevice_link_version_exchange(int socket)
{
    CFType message = mobiledevice_recmsg(socket, CFType(), timeoutMs);
    if (nameOf(message) == QLatin1String("DLMessageDeviceReady"))
        return;
    // Whatever the device offered, its versions are accepted without a number.
    CFType reply = messageOf("DLMessageVersionExchange");
    reply.append(CFType::fromString(QStringLiteral("DLVersionsOk")));
    mobiledevice_sendmsg(socket, reply, false, timeoutMs);
    message = mobiledevice_recmsg(socket, reply, timeoutMs);
    if (nameOf(message) != QLatin1String("DLMessageDeviceReady"))
        throw std::runtime_error(
            (QStringLiteral("invalid feedback after send DLMessageVersionExchange.\n") + xmlOf(message)).toStdString());
}

CFType mobiledevice_link_send_process_message(int socket, const CFType& dictionary)
{
    CFType message = messageOf("DLMessageProcessMessage");
    message.append(dictionary);
    mobiledevice_sendmsg(socket, message, true, timeoutMs);
    return CFType::deepCopy(message);
}

QString mobiledevice_link_dl_message_name(const CFType& message)
{
    const QString name = nameOf(message);
    if (!name.startsWith(QLatin1String("DL"), Qt::CaseInsensitive)) {
        qCDebug(lcIos, "mobiledevice_link_sc_recv_dlmessaeg recv invalid msg:\n%s", qUtf8Printable(xmlOf(message)));
        throw std::runtime_error("Did not receive a DL* message as expected.");
    }
    return name;
}

CFType mobiledevice_link_process_message_dictionary(const CFType& message)
{
    if (mobiledevice_link_dl_message_name(message) != QLatin1String("DLMessageProcessMessage")) {
        qCDebug(lcIos, "mobiledevice_link_sc_recv_process_message recv invalid msg:\n%s",
                qUtf8Printable(xmlOf(message)));
        throw std::runtime_error("Did not receive DLMessageProcessMessage as expected.");
    }
    return CFType::deepCopy(message.at(1));
}

void mobiledevice_link_sc_recv_dlmessaeg(int socket, CFType& message, QString& name, const CFType& request)
{
    const CFType received = mobiledevice_recmsg(socket, request, timeoutMs);
    const QString receivedName = mobiledevice_link_dl_message_name(received);
    message = received;
    name = receivedName;
}

CFType mobiledevice_link_sc_recv_process_message(int socket, const CFType& request, CFType* message)
{
    const CFType received = mobiledevice_recmsg(socket, request, timeoutMs);
    CFType dictionary = mobiledevice_link_process_message_dictionary(received);
    if (message)
        *message = received;
    return dictionary;
}

void mobiledevice_link_send_disconnect(int socket, const QString& text)
{
    CFType message = messageOf("DLMessageDisconnect");
    message.append(CFType::fromString(text.isEmpty() ? QString::fromLatin1(mobiledeviceEmptyParameter) : text));
    mobiledevice_sendmsg(socket, message, true, timeoutMs);
}
