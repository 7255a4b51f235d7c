#include "ios/mobiledevice_file_relay.h"

#include "ios/mobiledevice_session.h"
#include "ios/mobiledevice_socket.h"

#include <stdexcept>

namespace {

constexpr int requestTimeoutMs = 60000;
// The phone gathers its files before it answers, which can take long.
constexpr int replyTimeoutMs = 3600000;

} // namespace

void mobiledevice_file_relay_start(void* device, int* socket)
{
    mobiledevice_start_service(device, "com.apple.mobile.file_relay", socket);
}

void mobiledevice_file_relay_request(int socket, const QStringList& sources)
{
    CFType request = CFType::createDictionary();
    CFType names = CFType::createArray();
    for (const QString& source : sources)
        names.append(CFType::fromString(source));
    request.setValue(CFType::fromString(QStringLiteral("Sources")), names);
    mobiledevice_sendmsg(socket, request, false, requestTimeoutMs);

    const CFType reply = mobiledevice_recmsg(socket, request, replyTimeoutMs);
    const QString status = reply.value(QStringLiteral("Status")).toString();
    if (status.compare(QLatin1String("Acknowledged"), Qt::CaseInsensitive) == 0)
        return;
    const QString xml = QString::fromUtf8(reply.toData(kCFPropertyListXMLFormat_v1_0));
    throw std::runtime_error(QStringLiteral("invalid feedback.\n%1").arg(xml).toStdString());
}
