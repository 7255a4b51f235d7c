#include "msgdb/SqliteVarint.h"

int sqlite_read_varint(qint64& out, const uchar* pos, const uchar* end)
{
    const qint64 available = end - pos;
    quint64 value = 0;
    int used = 0;
    for (;;) {
        if (used >= available)
            return 0;
        const uchar byte = pos[used++];
        if (used == 9) {
            value = (value << 8) | byte;
            break;
        }
        value = (value << 7) | (byte & 0x7f);
        if (!(byte & 0x80))
            break;
    }
    out = qint64(value);
    return used;
}

int sqlite_varint_length(qint64 value)
{
    const quint64 v = quint64(value);
    int length = 1;
    for (quint64 limit = quint64(1) << 7; length < 9 && v >= limit; limit <<= 7)
        ++length;
    return length;
}
