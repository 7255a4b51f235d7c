#include "msgdb/SqliteRecordCarver.h"

#include "msgdb/MsgDbLog.h"
#include "msgdb/Sqlite3File.h"
#include "msgdb/SqliteSerialType.h"
#include "msgdb/SqliteVarint.h"

#include <QtDebug>

#include <algorithm>

namespace {

constexpr qint64 minUsableSize = 512;

// The record header holds the serial types and, first, its own length as a varint
// that counts itself.
qint64 recordHeaderSize(qint64 serialTypeBytes)
{
    qint64 size = serialTypeBytes + 1;
    for (int i = 0; i < 9 && serialTypeBytes + sqlite_varint_length(size) != size; ++i)
        size = serialTypeBytes + sqlite_varint_length(size);
    return size;
}

quint32 readU32(const uchar* p)
{
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
}

} // namespace

bool SqliteRecordCarver::ColumnTest::accepts(qint64 type) const
{
    if (type == 0)
        return null;
    if ((type >= 1 && type <= 6) || type == 8 || type == 9)
        return integer;
    if (type == 7)
        return real;
    if (type >= 12)
        return (type & 1) ? text : blob;
    return true; // 10, 11 and types beyond 2^63 - 1 carry nothing to test
}

SqliteRecordCarver::SqliteRecordCarver(const Sqlite3File& file, const QList<_SqliteCol>& cols, qint16 leadBytes,
                                       int usableSize, SqliteRowFilter filter)
    : m_file(file), m_leadBytes(qMax<qint16>(leadBytes, 0)), m_usableSize(usableSize), m_filter(filter)
{
    for (const _SqliteCol& col : cols) {
        ColumnTest test;
        test.null = !col.notNull && !col.hasDefault && !col.primaryKey;
        test.integer = col.isInteger() || col.isNumeric();
        test.real = col.isReal() || col.isNumeric();
        test.blob = col.isBlob();
        test.text = col.isText();
        m_columns.append(test);
    }
}

SqliteRecordCarver::SqliteRecordCarver(const Sqlite3File& file, const QList<_SqliteCol>& cols, qint16 leadBytes,
                                       SqliteRowFilter filter)
    : SqliteRecordCarver(file, cols, leadBytes, file.pageSize(), std::move(filter))
{
}

QList<_SqliteRow> SqliteRecordCarver::carve(const uchar* begin, const uchar* end) const
{
    const qint64 from = m_file.offsetOf(begin);
    const qint64 to = m_file.offsetOf(end);
    if (from < 0 || to < 0 || from >= to)
        return {};
    return carveInFile(from, to);
}

QList<_SqliteRow> SqliteRecordCarver::carvePageGap(int n, int offset) const
{
    if (n < 1 || offset < 0 || !m_file.hasUsablePageSize())
        return {};
    const qint64 start = (qint64(n) - 1) * m_file.pageSize() + offset;
    if (start >= m_file.size())
        return {};
    return carveInFile(start, qMin(start + m_file.pageSize(), m_file.size()));
}

QList<_SqliteRow> SqliteRecordCarver::carveFreeSpace(const _SqlitePage& page) const
{
    if (!m_file.hasUsablePageSize() || page.pageNo < 1)
        return {};
    if (!page.isBtreePage() || !page.isLeafPage())
        return carvePageGap(page.pageNo, 8);

    const qint64 start = m_file.offsetOf(page.pageStart);
    const qint64 header = m_file.offsetOf(page.headerStart);
    if (start < 0 || header < 0)
        return {};
    // Freeblock sizes come from the file: clip them to the page so that a forged size
    // cannot present the next page's live rows as deleted ones.
    const qint64 pageEnd = qMin(start + m_file.pageSize(), m_file.size());
    const auto carveBetween = [&](qint64 from, qint64 to) {
        to = qMin(to, pageEnd);
        return from < to ? carveInFile(from, to) : QList<_SqliteRow>();
    };

    QList<_SqliteRow> rows;
    if (page.cellContentStart > 0)
        rows += carveBetween(header + 8, start + page.cellContentStart);
    for (const uchar* freeblock : page.freeblocks) {
        const qint64 at = m_file.offsetOf(freeblock);
        const int size = m_file.u16At(at + 2);
        if (at >= 0 && size > 4)
            rows += carveBetween(at + 4, at + size);
    }
    return rows;
}

QList<_SqliteRow> SqliteRecordCarver::carveInFile(qint64 from, qint64 to) const
{
    const uchar* begin = m_file.data() + from;
    const uchar* end = m_file.data() + to;
    QList<_SqliteRow> rows;
    const qint64 length = end - begin;
    if (m_columns.size() < 2) {
        for (qint64 i = 0; i < length; ++i)
            qCWarning(lcMsgDb, "tbCols size < 2.");
        return rows;
    }
    if (m_usableSize < minUsableSize)
        return rows;

    std::vector<qint64> types;
    types.reserve(size_t(m_columns.size()));
    qint64 at = 0;
    while (at < length) {
        _SqliteRow row;
        const qint64 resume = tryCandidate(begin + at, end, types, row);
        if (resume > 0) {
            rows.append(row);
            at += resume;
        } else {
            ++at;
        }
    }
    return rows;
}

qint64 SqliteRecordCarver::tryCandidate(const uchar* pos, const uchar* end, std::vector<qint64>& types,
                                        _SqliteRow& row) const
{
    types.clear();
    const uchar* cursor = pos;
    for (int i = 1; i < m_columns.size(); ++i) {
        qint64 type = 0; // a varint cut by the end counts as NULL and takes no byte
        cursor += sqlite_read_varint(type, cursor, end);
        if (!m_columns[i].accepts(type))
            return 0;
        types.push_back(type);
    }
    // Zero-filled space reads as a record of NULLs at every byte: taking one would skip the
    // bytes where a real record starts.
    if (std::all_of(types.cbegin(), types.cend(), [](qint64 type) { return type == 0; }))
        return 0;
    const uchar* headerEnd = cursor;

    // Declared sizes are untrusted: a record longer than every byte it could reach is no record.
    const qint64 reachable = (end - headerEnd) + m_file.pageCount() * (m_file.pageSize() - 4);
    qint64 bodySize = m_leadBytes;
    for (qint64 type : types) {
        bodySize += sqlite_serial_type_size(type);
        if (bodySize > reachable)
            return 0;
    }

    // The scanned types plus column 0's NULL, then the header's own length varint.
    const qint64 headerSize = recordHeaderSize(headerEnd - pos + 1);
    const qint64 payloadSize = bodySize + headerSize;
    const qint64 maxLocal = m_usableSize - 35;
    const qint64 minLocal = ((m_usableSize - 12) * 32 / 255) - 23;
    qint64 localBody = bodySize;
    quint32 firstOverflow = 0;
    if (payloadSize > maxLocal) {
        const qint64 surplus = minLocal + ((payloadSize - minLocal) % (m_usableSize - 4));
        localBody = (surplus <= maxLocal ? surplus : minLocal) - headerSize;
        if (localBody < 0 || localBody + 4 > end - headerEnd)
            return 0;
        firstOverflow = readU32(headerEnd + localBody);
        if (firstOverflow == 0 || firstOverflow > m_file.pageCount())
            return 0;
    }

    QByteArray body(reinterpret_cast<const char*>(headerEnd), qMin(localBody, qint64(end - headerEnd)));
    if (firstOverflow)
        body += m_file.overflowBytes(firstOverflow, bodySize - localBody, Sqlite3File::BadLink::SkipPage);

    const uchar* value = reinterpret_cast<const uchar*>(body.constData());
    const uchar* bodyEnd = value + body.size();
    row.rowid = probeRowid(pos, headerEnd);
    row.fileOffset = pos - m_file.data();
    row.values.reserve(qsizetype(types.size()) + 1);
    // Column 0: the lead bytes as a blob, or the row-id alias's NULL.
    sqlite_serial_type_append(row, m_leadBytes > 0 ? 12 + 2 * m_leadBytes : 0, value, bodyEnd);
    for (qint64 type : types)
        sqlite_serial_type_append(row, type, value, bodyEnd);
    if (m_filter && !m_filter(row))
        return 0;
    // Past the local body and the overflow page number that may follow it.
    return (headerEnd - pos) + localBody + 4;
}

// A candidate found at the start of a cell has scanned the cell's payload-size, row-id
// and header-length varints as serial types; the second of them is then the row id.
qint64 SqliteRecordCarver::probeRowid(const uchar* pos, const uchar* headerEnd) const
{
    if (headerEnd <= pos)
        return 0;
    const uchar* limit = headerEnd - 1;
    qint64 first = 0, second = 0, third = 0;
    const int firstLength = sqlite_read_varint(first, pos, limit);
    if (!firstLength)
        return 0;
    const int secondLength = sqlite_read_varint(second, pos + firstLength, limit);
    if (!secondLength)
        return 0;
    const int thirdLength = sqlite_read_varint(third, pos + firstLength + secondLength, limit);
    if (!thirdLength)
        return 0;
    const bool fits = firstLength + secondLength + thirdLength <= headerEnd - pos;
    return first > 0 && third > 0 && fits && second > 0 ? second : 0;
}
