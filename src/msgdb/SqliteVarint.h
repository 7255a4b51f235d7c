#pragma once

#include <QtGlobal>

// SQLite's variable-length integers: big-endian, up to eight bytes of 7 bits while the
// top bit is set, then a ninth byte of 8 bits. Values above 2^63 - 1 come out negative.

// Bytes used (1-9); 0, with out untouched, when the varint needs a byte at or past end.
int sqlite_read_varint(qint64& out, const uchar* pos, const uchar* end);
// Bytes the value takes as a varint (1-9).
int sqlite_varint_length(qint64 value);
