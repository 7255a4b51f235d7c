#include "itunes/MbdbFile.h"

#include "frame/FullWrite.h"
#include "frame/RegularFileReader.h"

#include <QFile>
#include <QSaveFile>
#include <QtEndian>

#include <algorithm>
#include <stdexcept>

namespace {

constexpr char header[] = {'m', 'b', 'd', 'b', 0x05, 0x00};
constexpr int headerSize = int(sizeof header);

[[noreturn]] void throwReadError(const QFileDevice& device, const QString& path)
{
    const QString reason = device.error() == QFileDevice::NoError
                               ? QStringLiteral("the file ends in the middle of a record")
                               : device.errorString();
    throw std::runtime_error(QStringLiteral("Cannot read %1: %2").arg(path, reason).toStdString());
}

template <typename T>
T readBigEndian(QFileDevice& device, const QString& path)
{
    uchar bytes[sizeof(T)];
    if (device.read(reinterpret_cast<char*>(bytes), sizeof(T)) != qint64(sizeof(T)))
        throwReadError(device, path);
    return qFromBigEndian<T>(bytes);
}

quint8 readUInt8(QFileDevice& device, const QString& path) { return readBigEndian<quint8>(device, path); }
quint16 readUInt16BE(QFileDevice& device, const QString& path) { return readBigEndian<quint16>(device, path); }
quint32 readUInt32BE(QFileDevice& device, const QString& path) { return readBigEndian<quint32>(device, path); }
quint64 readUInt64BE(QFileDevice& device, const QString& path) { return readBigEndian<quint64>(device, path); }

// A string whose bytes end early keeps the bytes there were and its stored length;
// only a string with none of its bytes fails.
MbdbString readMbdbString(QFileDevice& device, const QString& path)
{
    MbdbString s;
    s.length = readUInt16BE(device, path);
    if (s.hasData()) {
        s.bytes = device.read(s.length);
        if (s.bytes.isEmpty())
            throwReadError(device, path);
    }
    return s;
}

MbdbRecord readRecord(QFileDevice& device, const QString& path)
{
    MbdbRecord r;
    r.domain = readMbdbString(device, path);
    r.path = readMbdbString(device, path);
    r.linkTarget = readMbdbString(device, path);
    r.digest = readMbdbString(device, path);
    r.encryptionKey = readMbdbString(device, path);
    r.mode = readUInt16BE(device, path);
    r.inode = readUInt64BE(device, path);
    r.userId = readUInt32BE(device, path);
    r.groupId = readUInt32BE(device, path);
    r.modificationTime = readUInt32BE(device, path);
    r.accessTime = readUInt32BE(device, path);
    r.changeTime = readUInt32BE(device, path);
    r.size = readUInt64BE(device, path);
    r.protectionClass = readUInt8(device, path);
    const int propertyCount = readUInt8(device, path);
    for (int i = 0; i < propertyCount; ++i) {
        MbdbProperty p;
        p.name = readMbdbString(device, path);
        p.value = readMbdbString(device, path);
        r.properties.append(p);
    }
    return r;
}

template <typename T>
void writeBigEndian(QByteArray& out, T value)
{
    uchar bytes[sizeof(T)];
    qToBigEndian<T>(value, bytes);
    out.append(reinterpret_cast<const char*>(bytes), sizeof(T));
}

void writeUInt8(QByteArray& out, quint8 value) { writeBigEndian(out, value); }
void writeUInt16BE(QByteArray& out, quint16 value) { writeBigEndian(out, value); }
void writeUInt32BE(QByteArray& out, quint32 value) { writeBigEndian(out, value); }
void writeUInt64BE(QByteArray& out, quint64 value) { writeBigEndian(out, value); }

void writeMbdbString(QByteArray& out, const MbdbString& s)
{
    writeUInt16BE(out, s.length);
    if (!s.hasData())
        return;
    if (s.bytes.size() != s.length)
        throw std::runtime_error(QStringLiteral("Cannot write the backup manifest: the value \"%1\" holds %2 bytes "
                                                "instead of %3.")
                                     .arg(s.toString())
                                     .arg(s.bytes.size())
                                     .arg(s.length)
                                     .toStdString());
    out.append(s.bytes);
}

void writeRecord(QByteArray& out, const MbdbRecord& r)
{
    if (r.properties.size() > 255)
        throw std::runtime_error(QStringLiteral("Cannot write the backup manifest: %1 has more than 255 properties.")
                                     .arg(r.path.toString())
                                     .toStdString());
    writeMbdbString(out, r.domain);
    writeMbdbString(out, r.path);
    writeMbdbString(out, r.linkTarget);
    writeMbdbString(out, r.digest);
    writeMbdbString(out, r.encryptionKey);
    writeUInt16BE(out, r.mode);
    writeUInt64BE(out, r.inode);
    writeUInt32BE(out, r.userId);
    writeUInt32BE(out, r.groupId);
    writeUInt32BE(out, r.modificationTime);
    writeUInt32BE(out, r.accessTime);
    writeUInt32BE(out, r.changeTime);
    writeUInt64BE(out, r.size);
    writeUInt8(out, r.protectionClass);
    writeUInt8(out, quint8(r.properties.size()));
    for (const MbdbProperty& p : r.properties) {
        writeMbdbString(out, p.name);
        writeMbdbString(out, p.value);
    }
}

} // namespace

MbdbMap readMbdb(const QString& path)
{
    QFile file(path);
    openRegularFileForReading(file);
    file.read(headerSize);

    MbdbMap records;
    while (!file.atEnd()) {
        const MbdbRecord r = readRecord(file, path);
        records.insert(r.fileHash(), r);
    }
    return records;
}

void writeMbdb(QList<MbdbRecord>& records, const QString& path)
{
    std::sort(records.begin(), records.end(), mbdbRecordLessThan);

    QByteArray out(header, headerSize);
    for (const MbdbRecord& r : records)
        writeRecord(out, r);

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !writeFully(file, out) || !file.commit())
        throw std::runtime_error(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()).toStdString());
}
