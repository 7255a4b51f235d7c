#pragma once

// An AFC phone played by a test thread: it answers each request from a list of prepared
// replies and keeps the requests it read.

#include "ios/afc.h"

#include "PeerSocket.h"

#include <QList>

#include <thread>

inline QByteArray number(quint64 value)
{
    QByteArray bytes(8, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

inline QByteArray afcPacket(quint64 operation, const QByteArray& payload)
{
    return QByteArray(afcMagic, 8) + number(40 + quint64(payload.size())) + number(40 + quint64(payload.size()))
        + number(0) + number(operation) + payload;
}

inline QByteArray statusReply(quint64 status)
{
    return afcPacket(afcOperationStatus, number(status));
}

// Each text followed by its NUL.
inline QByteArray nulTerminated(const QList<QByteArray>& texts)
{
    QByteArray bytes;
    for (const QByteArray& text : texts)
        bytes += text + '\0';
    return bytes;
}

inline quint64 field(const QByteArray& packet, int offset)
{
    return qFromLittleEndian<quint64>(packet.constData() + offset);
}

// Reads one request per prepared reply and answers it; requests keeps what it read.
class AfcPhone
{
public:
    AfcPhone(int fd, QList<QByteArray> replies)
        : m_thread([this, fd, replies] {
              for (const QByteArray& reply : replies) {
                  QByteArray request = readExactly(fd, 40);
                  if (request.size() < 40)
                      return;
                  request += readExactly(fd, qsizetype(field(request, 8)) - 40);
                  requests.append(request);
                  writeAll(fd, reply);
              }
          })
    {
    }
    ~AfcPhone() { join(); }
    void join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

    QList<QByteArray> requests;

private:
    std::thread m_thread;
};
