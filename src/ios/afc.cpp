#include "ios/afc.h"

#include "ios/CFType.h"
#include "ios/mobiledevice_socket.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

constexpr int timeoutMs = 60000;

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toStdString());
}

// The first 8 bytes of a payload as a number; bytes that are missing count as 0.
quint64 firstNumber(const QByteArray& payload)
{
    char bytes[8] = {};
    std::memcpy(bytes, payload.constData(), size_t(std::min<qsizetype>(payload.size(), 8)));
    return qFromLittleEndian<quint64>(bytes);
}

QByteArray number(quint64 value)
{
    QByteArray bytes(8, Qt::Uninitialized);
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray pathParameter(const QString& path)
{
    return path.toUtf8() + '\0';
}

// One request whose parameters are all it carries, and its reply.
QByteArray request(int socket, quint64 operation, const QByteArray& parameters)
{
    afc_send_packet(socket, afc_request_header(socket, operation, int(parameters.size())), parameters.constData(),
                    int(parameters.size()));
    AfcPacketHeader reply;
    return afc_receive_packet(socket, &reply);
}

} // namespace

AfcPacketHeader afc_request_header(int socket, quint64 operation, int parameterLength, int dataLength)
{
    AfcPacketHeader header;
    header.thisLength = quint64(afcHeaderLength + parameterLength);
    header.entireLength = header.thisLength + quint64(dataLength);
    // Phones take the socket's number as the packet number; 0 would read as none.
    header.packetNumber = socket == 0 ? quint64(0xFFFFFFFFu) : quint64(qint64(socket));
    header.operation = operation;
    return header;
}

void afc_send_packet(int socket, const AfcPacketHeader& header, const char* payload, int payloadLength)
{
    char bytes[afcHeaderLength];
    std::memcpy(bytes, afcMagic, 8);
    qToLittleEndian(header.entireLength, bytes + 8);
    qToLittleEndian(header.thisLength, bytes + 16);
    qToLittleEndian(header.packetNumber, bytes + 24);
    qToLittleEndian(header.operation, bytes + 32);
    if (mobiledevice_send_data(socket, bytes, afcHeaderLength, timeoutMs) != afcHeaderLength)
        fail(QStringLiteral("send AFC header (%1) error.").arg(header.operation));
    if (payloadLength > 0 && mobiledevice_send_data(socket, payload, payloadLength, timeoutMs) != payloadLength)
        fail(QStringLiteral("send AFC content (%1) error.").arg(header.operation));
}

AfcPacketHeader afc_decode_header(const char* bytes)
{
    // A reply without the magic is not AFC: nothing after it can be trusted.
    if (std::memcmp(bytes, afcMagic, 8) != 0)
        fail(QStringLiteral("read AFC header failed."));
    AfcPacketHeader header;
    header.entireLength = qFromLittleEndian<quint64>(bytes + 8);
    header.thisLength = qFromLittleEndian<quint64>(bytes + 16);
    header.packetNumber = qFromLittleEndian<quint64>(bytes + 24);
    header.operation = qFromLittleEndian<quint64>(bytes + 32);
    return header;
}

QByteArray afc_receive_packet(int socket, AfcPacketHeader* header, int* status)
{
    char bytes[afcHeaderLength];
    if (mobiledevice_receive_data(socket, bytes, afcHeaderLength, timeoutMs) != afcHeaderLength)
        fail(QStringLiteral("read AFC header failed."));
    const AfcPacketHeader received = afc_decode_header(bytes);
    if (header)
        *header = received;

    // The length is the peer's word: refused above the cap before anything is allocated.
    if (received.entireLength > quint64(afcHeaderLength + mobiledeviceMaxMessageLength))
        fail(QStringLiteral("read AFC file block data failed."));
    QByteArray payload;
    if (received.entireLength > quint64(afcHeaderLength)) {
        const int length = int(received.entireLength) - afcHeaderLength;
        payload.resize(length);
        if (mobiledevice_receive_data(socket, payload.data(), length, timeoutMs) != length)
            fail(QStringLiteral("read AFC file block data failed."));
    }
    return afc_decode_reply(received.operation, payload, status);
}

QByteArray afc_decode_reply(quint64 operation, const QByteArray& payload, int* status)
{
    switch (operation) {
    case afcOperationData:
    case afcOperationFileOpened:
    case afcOperationFileOpenedAlso:
        return payload;
    case afcOperationStatus: {
        const quint64 code = firstNumber(payload);
        if (status)
            *status = int(quint32(code));
        else if (code != 0)
            fail(QStringLiteral("read AFC failed, received AFC_OP_STATUS, param1=%1.").arg(code));
        return payload;
    }
    default:
        fail(QStringLiteral("read AFC failed, Unknown operation code received %1, param1=%2.")
                 .arg(operation)
                 .arg(firstNumber(payload)));
    }
}

quint64 afc_file_open(int socket, const QString& path, quint64 mode)
{
    const QByteArray reply = request(socket, afcOperationFileOpen, number(mode) + pathParameter(path));
    return firstNumber(reply);
}

void afc_file_close(int socket, quint64 handle)
{
    request(socket, afcOperationFileClose, number(handle));
}

qint64 afc_file_read(int socket, quint64 handle, char* buffer, qint64 count)
{
    qint64 total = 0;
    while (total < count) {
        const qint64 wanted = std::min<qint64>(count - total, afcReadChunk);
        const QByteArray reply = request(socket, afcOperationFileRead, number(handle) + number(quint64(wanted)));
        if (reply.isEmpty())
            break;
        // A phone that sends more than was asked for does not write past the buffer.
        const qint64 taken = std::min<qint64>(reply.size(), count - total);
        std::memcpy(buffer + total, reply.constData(), size_t(taken));
        total += taken;
    }
    return total;
}

qint64 afc_file_write(int socket, quint64 handle, const char* data, qint64 count)
{
    qint64 total = 0;
    const QByteArray parameters = number(handle);
    while (total < count) {
        const int chunk = int(std::min<qint64>(count - total, afcWriteChunk));
        afc_send_packet(socket, afc_request_header(socket, afcOperationFileWrite, 8, chunk), parameters.constData(),
                        int(parameters.size()));
        if (mobiledevice_send_data(socket, data + total, chunk, timeoutMs) != chunk)
            fail(QStringLiteral("write AFC file error."));
        total += chunk;
        AfcPacketHeader reply;
        afc_receive_packet(socket, &reply);
    }
    return total;
}

int afc_file_lock(int socket, quint64 handle, quint64 lockOperation)
{
    const QByteArray parameters = number(handle) + number(lockOperation);
    afc_send_packet(socket, afc_request_header(socket, afcOperationFileLock, int(parameters.size())),
                    parameters.constData(), int(parameters.size()));
    AfcPacketHeader reply;
    int status = 0;
    afc_receive_packet(socket, &reply, &status);
    return status;
}

void afc_remove_path(int socket, const QString& path)
{
    request(socket, afcOperationRemovePath, pathParameter(path));
}

void afc_make_directory(int socket, const QString& path)
{
    request(socket, afcOperationMakeDirectory, pathParameter(path));
}

void afc_rename_path(int socket, const QString& oldPath, const QString& newPath)
{
    request(socket, afcOperationRenamePath, pathParameter(oldPath) + pathParameter(newPath));
}

QStringList afc_decode_texts(const QByteArray& payload)
{
    QStringList texts;
    qsizetype start = 0;
    for (qsizetype end = payload.indexOf('\0'); end >= 0; end = payload.indexOf('\0', start)) {
        texts.append(QString::fromUtf8(payload.constData() + start, end - start));
        start = end + 1;
    }
    return texts;
}

QMap<QString, QString> afc_decode_file_info(const QByteArray& payload)
{
    QMap<QString, QString> info;
    QString pendingKey;
    for (const QString& text : afc_decode_texts(payload)) {
        if (pendingKey.isEmpty()) {
            pendingKey = text;
        } else {
            info.insert(pendingKey, text);
            pendingKey.clear();
        }
    }
    return info;
}

QStringList afc_read_directory(int socket, const QString& path)
{
    return afc_decode_texts(request(socket, afcOperationReadDirectory, pathParameter(path)));
}

QMap<QString, QString> afc_get_file_info(int socket, const QString& path)
{
    return afc_decode_file_info(request(socket, afcOperationGetFileInfo, pathParameter(path)));
}

void afc_house_arrest_vend_container(int socket, const QString& appId)
{
    CFType command = CFType::createDictionary();
    command.setValue(CFType::fromString(QStringLiteral("Command")),
                     CFType::fromString(QStringLiteral("VendContainer")));
    command.setValue(CFType::fromString(QStringLiteral("Identifier")), CFType::fromString(appId));
    mobiledevice_sendmsg(socket, command, false, timeoutMs);
    const CFType reply = mobiledevice_recmsg(socket, command, timeoutMs);
    if (reply.value(QStringLiteral("Error")).ref())
        fail(QStringLiteral("can not find %1.").arg(appId));
    // An answer that is no dictionary would otherwise pass for the container being open.
    if (!reply.isDictionary())
        fail(QStringLiteral("house_arrest gave no readable answer for %1.").arg(appId));
}
