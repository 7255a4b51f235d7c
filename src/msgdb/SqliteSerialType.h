#pragma once

#include <QVariant>

// Values of a SQLite record by their serial type. Types 10, 11 and types above
// 2^63 - 1 (negative once read into a qint64) are taken as NULL with no content.

// Content bytes a value of the type takes in the record body.
qint64 sqlite_serial_type_size(qint64 type);

// Decodes one value at pos, never reading at or past end; pos advances by the bytes taken.
// A number cut by end reads as 0 of its type; a blob or text is cut at end; a text ends at
// its first zero byte.
QVariant sqlite_serial_type_value(qint64 type, const uchar*& pos, const uchar* end);
