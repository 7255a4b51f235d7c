#pragma once

// The phone's end of a service socket, played by a test: a socket pair, or a Unix socket
// that the simulated library relays a service to; raw bytes and framed property lists.

#include "ios/CFType.h"

#include <QByteArray>
#include <QStringList>
#include <QTest>
#include <QtEndian>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <stdexcept>

struct SocketPair
{
    SocketPair() { QVERIFY(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0); }
    ~SocketPair()
    {
        closeOurs();
        closePeer();
    }
    void closeOurs()
    {
        if (fds[0] >= 0)
            ::close(fds[0]);
        fds[0] = -1;
    }
    void closePeer()
    {
        if (fds[1] >= 0)
            ::close(fds[1]);
        fds[1] = -1;
    }
    int ours() const { return fds[0]; }
    int peer() const { return fds[1]; }
    int fds[2] = {-1, -1};
};

// A listening Unix socket at path, to name in a phone's "Services" knob as "relay:<path>".
struct RelayListener
{
    explicit RelayListener(const QByteArray& socketPath) : path(socketPath)
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        QVERIFY(size_t(path.size()) < sizeof address.sun_path);
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        QVERIFY(fd >= 0);
        QVERIFY(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0);
        QVERIFY(::listen(fd, 4) == 0);
    }
    ~RelayListener()
    {
        if (fd >= 0)
            ::close(fd);
        ::unlink(path.constData());
    }
    // The connection the library made, or -1 when none came within the time.
    int accept(int timeoutMs = 5000) const
    {
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, timeoutMs) != 1)
            return -1;
        return ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
    }
    QByteArray path;
    int fd = -1;
};

inline QByteArray framed(const QByteArray& body)
{
    QByteArray length(4, '\0');
    qToBigEndian(quint32(body.size()), length.data());
    return length + body;
}

inline void writeAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
        if (n <= 0)
            return;
        done += n;
    }
}

// Everything until the other end closes.
inline QByteArray readAll(int fd)
{
    QByteArray bytes;
    char buffer[4096];
    ssize_t n;
    while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
        bytes.append(buffer, n);
    return bytes;
}

// count bytes, or fewer when the other end closes or is silent for timeoutMs.
inline QByteArray readExactly(int fd, qsizetype count, int timeoutMs = 5000)
{
    QByteArray bytes;
    while (bytes.size() < count) {
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, timeoutMs) != 1)
            break;
        char buffer[65536];
        const ssize_t n = ::recv(fd, buffer, size_t(std::min<qsizetype>(count - bytes.size(), sizeof buffer)), 0);
        if (n <= 0)
            break;
        bytes.append(buffer, n);
    }
    return bytes;
}

// The body of one framed property list; empty when none came.
inline QByteArray readFrame(int fd)
{
    const QByteArray length = readExactly(fd, 4);
    if (length.size() != 4)
        return {};
    return readExactly(fd, qFromBigEndian<quint32>(length.constData()));
}

// An XML property list around body, as a phone would write it.
inline QByteArray plistXml(const QByteArray& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">"
        + body + "</plist>\n";
}

inline void sendPlist(int fd, const QByteArray& body)
{
    writeAll(fd, framed(plistXml(body)));
}

// A DeviceLink message of strings, e.g. dlMessage({"DLMessageDeviceReady"}).
inline QByteArray dlMessage(const QList<QByteArray>& strings)
{
    QByteArray body = "<array>";
    for (const QByteArray& s : strings)
        body += "<string>" + s + "</string>";
    return body + "</array>";
}

// How our side writes a message the device sent, as error texts quote it.
inline QString ourXml(const QByteArray& body)
{
    return QString::fromUtf8(CFType::fromData(plistXml(body)).toData(kCFPropertyListXMLFormat_v1_0));
}

// Element texts of an XML message the client sent; dictionaries as "dict", other values
// by their text; "not XML" for anything else.
inline QStringList elements(const QByteArray& wire)
{
    if (!wire.startsWith("<?xml"))
        return {QStringLiteral("not XML")};
    const CFType message = CFType::fromData(wire);
    QStringList texts;
    for (int i = 0; i < message.arrayCount(); ++i)
        texts.append(message.at(i).isDictionary() ? QStringLiteral("dict") : message.at(i).valueText());
    return texts;
}

// The text of the std::runtime_error that operation throws, or "no error".
inline QString errorOf(const std::function<void()>& operation)
{
    try {
        operation();
    } catch (const std::runtime_error& e) {
        return QString::fromUtf8(e.what());
    }
    return QStringLiteral("no error");
}
