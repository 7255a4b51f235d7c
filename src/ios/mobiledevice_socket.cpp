#include "ios/mobiledevice_socket.h"

#include <QtEndian>

#include <cerrno>
#include <chrono>
#include <stdexcept>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The length of a message arrives within this, whatever the caller's time-out.
constexpr int lengthTimeoutMs = 60000;
constexpr int quotedCharacters = 800;

// The message as XML text, cut short, for error texts (also for binary messages).
QString quoted(const CFType& message)
{
    QByteArray xml = message.toData(kCFPropertyListXMLFormat_v1_0);
    const qsizetype nul = xml.indexOf('\0');
    if (nul >= 0)
        xml.truncate(nul);
    return QString::fromUtf8(xml).left(quotedCharacters);
}

[[noreturn]] void throwReceiveError(const char* text, int received, const CFType& request)
{
    QString message = QString::fromLatin1(text).arg(received);
    if (request.ref())
        message += QLatin1Char('\n') + quoted(request);
    throw std::runtime_error(message.toStdString());
}

[[noreturn]] void throwSendError(const char* text, const CFType& message)
{
    throw std::runtime_error((QString::fromLatin1(text) + quoted(message)).toStdString());
}

} // namespace

int mobiledevice_wait_socket(int socket, int timeoutMs, bool forRead)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    pollfd entry{socket, short(forRead ? POLLIN : POLLOUT), 0};
    for (;;) {
        int wait = -1;
        if (timeoutMs > 0) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            wait = left > 0 ? int(left) : 0;
        }
        const int result = ::poll(&entry, 1, wait);
        if (result >= 0 || errno != EINTR)
            return result;
    }
}

int mobiledevice_send_data(int socket, const char* data, int length, int timeoutMs)
{
    // A blocking send would wait for ever on a phone that stops reading: each send takes
    // what fits, and each wait for room has the full time-out.
    int total = 0;
    while (total < length) {
        if (mobiledevice_wait_socket(socket, timeoutMs, false) == 0)
            break;
        const ssize_t sent = ::send(socket, data + total, size_t(length - total), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        if (sent <= 0)
            break;
        total += int(sent);
    }
    return total;
}

int mobiledevice_receive_data(int socket, char* buffer, int length, int timeoutMs)
{
    int total = 0;
    while (total < length) {
        if (mobiledevice_wait_socket(socket, timeoutMs, true) == 0)
            break;
        ssize_t received;
        do {
            received = ::recv(socket, buffer + total, size_t(length - total), 0);
        } while (received < 0 && errno == EINTR);
        if (received <= 0)
            break;
        total += int(received);
    }
    return total;
}

void mobiledevice_sendmsg(int socket, const CFType& message, bool binary, int timeoutMs)
{
    const QByteArray bytes =
        message.toData(binary ? kCFPropertyListBinaryFormat_v1_0 : kCFPropertyListXMLFormat_v1_0);
    // A message that cannot be serialised is a failure too: the caller would otherwise
    // wait for an answer to something that was never sent.
    if (bytes.isEmpty())
        throwSendError("mobiledevice_sendmsg(msg) error.\n", message);
    char length[4];
    qToBigEndian(quint32(bytes.size()), length);
    if (mobiledevice_send_data(socket, length, 4, timeoutMs) < 4)
        throwSendError("mobiledevice_sendmsg(msg-length) error.\n", message);
    if (mobiledevice_send_data(socket, bytes.constData(), int(bytes.size()), timeoutMs) != bytes.size())
        throwSendError("mobiledevice_sendmsg(msg) error.\n", message);
}

CFType mobiledevice_recmsg(int socket, const CFType& request, int timeoutMs)
{
    char lengthBytes[4];
    const int lengthReceived = mobiledevice_receive_data(socket, lengthBytes, 4, lengthTimeoutMs);
    if (lengthReceived != 4)
        throwReceiveError("mobiledevice_recmsg(msg-length) error, received length: %1.", lengthReceived, request);
    const auto length = qint32(qFromBigEndian<quint32>(lengthBytes));
    // A length of 2^31 or more reads as negative; neither it nor one above the cap is read.
    if (length < 0 || length > mobiledeviceMaxMessageLength)
        throwReceiveError("mobiledevice_recmsg(msg) error, received length: %1.", 0, request);
    QByteArray body(length, Qt::Uninitialized);
    const int received = mobiledevice_receive_data(socket, body.data(), length, timeoutMs);
    if (received != length)
        throwReceiveError("mobiledevice_recmsg(msg) error, received length: %1.", received, request);
    return CFType::fromData(body);
}

void mobiledevice_close_socket(int socket)
{
    ::close(socket);
}
