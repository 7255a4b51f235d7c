#pragma once

// The phone's file service AFC at the packet level, on a connected service socket. Each
// request and reply is one packet: a 40-byte header, the parameters, then the data, every
// number little-endian. Every failure is a std::runtime_error; the socket stays open.

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

inline constexpr int afcHeaderLength = 40;
// The eight bytes "CFA6LPAA" that open every packet.
inline constexpr char afcMagic[] = "CFA6LPAA";

inline constexpr quint64 afcOperationStatus = 1;
inline constexpr quint64 afcOperationData = 2;
inline constexpr quint64 afcOperationReadDirectory = 3;
inline constexpr quint64 afcOperationRemovePath = 8;
inline constexpr quint64 afcOperationMakeDirectory = 9;
inline constexpr quint64 afcOperationGetFileInfo = 10;
inline constexpr quint64 afcOperationFileOpen = 13;
inline constexpr quint64 afcOperationFileOpened = 14;
inline constexpr quint64 afcOperationFileRead = 15;
inline constexpr quint64 afcOperationFileWrite = 16;
// Accepted like 14, though no request of ours asks for it.
inline constexpr quint64 afcOperationFileOpenedAlso = 19;
inline constexpr quint64 afcOperationFileClose = 20;
inline constexpr quint64 afcOperationRenamePath = 24;
inline constexpr quint64 afcOperationFileLock = 27;

// The most a read request asks for, and the most one write packet carries.
inline constexpr int afcReadChunk = 65536;
inline constexpr int afcWriteChunk = 32768;

// The header without its magic. Lengths count the header itself.
struct AfcPacketHeader
{
    quint64 entireLength = 0;
    quint64 thisLength = 0;
    quint64 packetNumber = 0;
    quint64 operation = 0;
};

// A request header for this socket: both lengths 40 + parameterLength + dataLength,
// except that this length leaves the data out.
AfcPacketHeader afc_request_header(int socket, quint64 operation, int parameterLength, int dataLength = 0);

void afc_send_packet(int socket, const AfcPacketHeader& header, const char* payload, int payloadLength);
// Everything after the header. With status, a status reply stores its status there and is
// returned; without, a non-zero status is thrown.
QByteArray afc_receive_packet(int socket, AfcPacketHeader* header, int* status = nullptr);

// The decoding of a reply, apart from the socket. The header from its afcHeaderLength
// bytes, thrown without the magic; then the payload as afc_receive_packet returns it for
// the header's operation; then the NUL-ended texts of a directory listing (bytes after the
// last NUL are no text) and the key and value pairs of a file's information.
AfcPacketHeader afc_decode_header(const char* bytes);
QByteArray afc_decode_reply(quint64 operation, const QByteArray& payload, int* status = nullptr);
QStringList afc_decode_texts(const QByteArray& payload);
QMap<QString, QString> afc_decode_file_info(const QByteArray& payload);

// 0 when the reply carried no handle.
quint64 afc_file_open(int socket, const QString& path, quint64 mode);
void afc_file_close(int socket, quint64 handle);
// The count read; less than count when the phone has no more.
qint64 afc_file_read(int socket, quint64 handle, char* buffer, qint64 count);
qint64 afc_file_write(int socket, quint64 handle, const char* data, qint64 count);
// The phone's status, 0 on success; a refusal is returned, not thrown.
int afc_file_lock(int socket, quint64 handle, quint64 lockOperation);
void afc_remove_path(int socket, const QString& path);
void afc_make_directory(int socket, const QString& path);
void afc_rename_path(int socket, const QString& oldPath, const QString& newPath);
QStringList afc_read_directory(int socket, const QString& path);
QMap<QString, QString> afc_get_file_info(int socket, const QString& path);

// Asks house_arrest for an app's container; afterwards the socket speaks AFC inside it.
void afc_house_arrest_vend_container(int socket, const QString& appId);
