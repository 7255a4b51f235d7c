#pragma once

#include "msgdb/SqlitePage.h"
#include "msgdb/SqliteRow.h"
#include "sqlite/SqliteCol.h"

#include <QList>
#include <vector>

class Sqlite3File;

// Finds records of one table layout at any byte position of a range of a Sqlite3File,
// where the cell that held them is gone. Column 0 of the layout is the row-id alias,
// stored as NULL; the carver recognises a record by the serial types of columns 1 to n - 1.
class SqliteRecordCarver
{
public:
    // usableSize is the page size the records were written with; below 512 nothing is found.
    SqliteRecordCarver(const Sqlite3File& file, const QList<_SqliteCol>& cols, qint16 leadBytes, int usableSize,
                       SqliteRowFilter filter);
    // Records written with the file's own page size.
    SqliteRecordCarver(const Sqlite3File& file, const QList<_SqliteCol>& cols, qint16 leadBytes,
                       SqliteRowFilter filter);

    // Looks at every byte of [begin, end), a range of the file's mapping (any other range
    // gives nothing). Rows come in the order found.
    QList<_SqliteRow> carve(const uchar* begin, const uchar* end) const;
    // Carves a page's size of bytes from byte offset of page n; the range may run into the
    // next page.
    QList<_SqliteRow> carvePageGap(int n, int offset) const;
    // A leaf page's gap and freeblocks; any other page whole from its byte 8.
    QList<_SqliteRow> carveFreeSpace(const _SqlitePage& page) const;

private:
    // The serial types a column takes, decided once from its declared type and flags.
    struct ColumnTest
    {
        bool null = false;
        bool integer = false;
        bool real = false;
        bool blob = false;
        bool text = false;
        bool accepts(qint64 type) const;
    };

    QList<_SqliteRow> carveInFile(qint64 from, qint64 to) const;
    // The bytes from pos to the resume point when a row was accepted, else 0.
    qint64 tryCandidate(const uchar* pos, const uchar* end, std::vector<qint64>& types, _SqliteRow& row) const;
    qint64 probeRowid(const uchar* pos, const uchar* headerEnd) const;

    const Sqlite3File& m_file;
    QList<ColumnTest> m_columns;
    qint64 m_leadBytes;
    qint64 m_usableSize;
    SqliteRowFilter m_filter;
};
