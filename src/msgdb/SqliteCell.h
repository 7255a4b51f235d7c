#pragma once

#include <QtGlobal>

// One cell of a b-tree page; payloadStart points into the Sqlite3File's mapping.
struct _SqliteCell
{
    // The integer key of a table cell; 0 in index cells.
    qint64 rowid = 0;
    // Total payload size; 0 in table interior cells.
    qint64 payloadSize = 0;
    // Payload bytes stored in the cell itself.
    qint32 localSize = 0;
    quint32 leftChild = 0;
    // 0 when the payload is wholly local.
    quint32 firstOverflow = 0;
    const uchar* payloadStart = nullptr;
};
