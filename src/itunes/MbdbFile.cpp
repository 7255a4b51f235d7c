#include "itunes/MbdbFile.h"

#include "frame/FullWrite.h"
#include "frame/RegularFileReader.h"

#include <QBuffer>
#include <QFile>
#include <QSaveFile>
#include <QSet>
#include <QtEndian>

#include <algorithm>
#include <stdexcept>

namespace {

constexpr char header[] = {'m', 'b', 'd', 'b', 0x05, 0x00};
constexpr int headerSize = int(sizeof header);

// Parsing runs over the bytes in memory: running out of them is the only read error.
[[noreturn]] void throwReadError(const QIODevice&, const QString& path)
{
    throw std::runtime_error(
        QStringLiteral("Cannot read %1: the file ends in the middle of a record").arg(path).toStdString());
}

template <typename T>
T readBigEndian(QIODevice& device, const QString& path)
{
    uchar bytes[sizeof(T)];
    if (device.read(reinterpret_cast<char*>(bytes), sizeof(T)) != qint64(sizeof(T)))
        throwReadError(device, path);
    return qFromBigEndian<T>(bytes);
}

quint8 readUInt8(QIODevice& device, const QString& path) { return readBigEndian<quint8>(device, path); }
quint16 readUInt16BE(QIODevice& device, const QString& path) { return readBigEndian<quint16>(device, path); }
quint32 readUInt32BE(QIODevice& device, const QString& path) { return readBigEndian<quint32>(device, path); }
quint64 readUInt64BE(QIODevice& device, const QString& path) { return readBigEndian<quint64>(device, path); }

// A string whose bytes end early keeps the bytes there were and its stored length;
// only a string with none of its bytes fails.
MbdbString readMbdbString(QIODevice& device, const QString& path)
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

MbdbRecord readRecord(QIODevice& device, const QString& path)
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

MbdbMap parseMbdb(const QByteArray& bytes, const QString& path, MbdbCheck check)
{
    if (check == MbdbCheck::Strict && !bytes.startsWith(QByteArray(header, headerSize)))
        throw std::runtime_error(
            QStringLiteral("The backup's manifest %1 is not in the expected format.").arg(path).toStdString());
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    buffer.seek(std::min<qint64>(headerSize, bytes.size()));

    MbdbMap records;
    while (!buffer.atEnd()) {
        const MbdbRecord r = readRecord(buffer, path);
        const QString key = r.fileHash();
        if (check == MbdbCheck::Strict && records.contains(key))
            throw std::runtime_error(QStringLiteral("The backup's manifest %1 lists %2 %3 twice.")
                                         .arg(path, r.domain.toString(), r.path.toString())
                                         .toStdString());
        records.insert(key, r);
    }
    return records;
}

MbdbMap readMbdb(const QString& path)
{
    QFile file(path);
    openRegularFileForReading(file);
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw std::runtime_error(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()).toStdString());
    return parseMbdb(bytes, path, MbdbCheck::Lenient);
}

QByteArray encodeMbdb(QList<MbdbRecord>& records)
{
    std::sort(records.begin(), records.end(), mbdbRecordLessThan);
    QByteArray out(header, headerSize);
    for (const MbdbRecord& r : records)
        writeRecord(out, r);
    return out;
}

void writeMbdb(QList<MbdbRecord>& records, const QString& path)
{
    const QByteArray out = encodeMbdb(records);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !writeFully(file, out) || !file.commit())
        throw std::runtime_error(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()).toStdString());
}
