#pragma once

#include "msgdb/SqliteRow.h"

#include <QVariant>

// Values of a SQLite record by their serial type. Types 10, 11 and types above
// 2^63 - 1 (negative once read into a qint64) are taken as NULL with no content.

// Content bytes a value of the type takes in the record body.
qint64 sqlite_serial_type_size(qint64 type);

// Decodes one value at pos, never reading at or past end; pos advances by the bytes taken.
// A number cut by end reads as 0 of its type; a blob or text is cut at end; a text ends at
// its first zero byte.
QVariant sqlite_serial_type_value(qint64 type, const uchar*& pos, const uchar* end);

// Decodes one value as above onto the end of row, with its serial type and whether its
// content was cut by end.
void sqlite_serial_type_append(_SqliteRow& row, qint64 type, const uchar*& pos, const uchar* end);

// True when an integer of the type is known not to be 0 without its content. SQLite writes
// every integer in the fewest bytes that hold it, 0 as type 8 (as type 1 in files of the
// legacy format), so a value of types 2 to 6 is at least 128 from 0; its sign is lost with
// its first byte.
bool sqlite_serial_type_excludes_zero(qint64 type);
