#include "msgdb/SqliteSerialType.h"

#include <QByteArray>
#include <QString>

#include <cstring>

namespace {

// Big-endian two's-complement integer of 1 to 8 bytes.
qint64 readSigned(const uchar* p, int bytes)
{
    quint64 value = (p[0] & 0x80) ? ~quint64(0) : 0;
    for (int i = 0; i < bytes; ++i)
        value = (value << 8) | p[i];
    return qint64(value);
}

} // namespace

qint64 sqlite_serial_type_size(qint64 type)
{
    static constexpr qint64 numberSizes[] = {0, 1, 2, 3, 4, 6, 8, 8};
    if (type >= 0 && type <= 7)
        return numberSizes[type];
    if (type >= 12)
        return (type - 12 - (type & 1)) / 2;
    return 0;
}

QVariant sqlite_serial_type_value(qint64 type, const uchar*& pos, const uchar* end)
{
    const qint64 size = sqlite_serial_type_size(type);
    const qint64 available = qMax<qint64>(0, end - pos);
    const qint64 taken = qMin(size, available);
    const uchar* p = pos;
    pos += taken;
    const bool whole = taken == size;

    if (type >= 1 && type <= 4)
        return whole ? int(readSigned(p, int(size))) : 0;
    if (type == 5 || type == 6)
        return whole ? qlonglong(readSigned(p, int(size))) : qlonglong(0);
    if (type == 7) {
        if (!whole)
            return 0.0;
        const quint64 bits = quint64(readSigned(p, 8));
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    if (type == 8)
        return 0;
    if (type == 9)
        return 1;
    if (type >= 12 && (type & 1) == 0)
        return QByteArray(reinterpret_cast<const char*>(p), taken);
    if (type >= 13) {
        const void* zero = std::memchr(p, 0, size_t(taken));
        const qint64 length = zero ? static_cast<const uchar*>(zero) - p : taken;
        return QString::fromUtf8(reinterpret_cast<const char*>(p), length);
    }
    return QVariant();
}

void sqlite_serial_type_append(_SqliteRow& row, qint64 type, const uchar*& pos, const uchar* end)
{
    const uchar* start = pos;
    row.values.append(sqlite_serial_type_value(type, pos, end));
    row.serialTypes.append(type);
    row.lost.append(pos - start < sqlite_serial_type_size(type));
}

bool sqlite_serial_type_excludes_zero(qint64 type)
{
    return (type >= 2 && type <= 6) || type == 9;
}
