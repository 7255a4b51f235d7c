#pragma once

#include <QList>
#include <QVariant>

#include <functional>

// One decoded table row: a null QVariant for NULL, int for the small integer types,
// qlonglong for 48- and 64-bit integers, double, QByteArray for a blob, QString for a text.
struct _SqliteRow
{
    qint64 rowid = 0;
    QList<QVariant> values;
    // Byte offset in the file where the record was found: the payload of a decoded cell,
    // the first scanned serial type of a carved record.
    qint64 fileOffset = -1;
    // The serial type each value was stored with, one per value of a decoded record.
    QList<qint64> serialTypes;
    // Per value: its content lay, wholly or in part, past the bytes that survive (the end
    // of a freed block that a newer cell took, a broken overflow chain), so the value read
    // as 0 or was cut short; its serial type still says what was stored.
    QList<bool> lost;
};

// Decides whether a row belongs in a result; a null filter accepts every row.
using SqliteRowFilter = std::function<bool(const _SqliteRow& row)>;
