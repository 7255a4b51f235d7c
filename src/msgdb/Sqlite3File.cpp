#include "msgdb/Sqlite3File.h"

#include "msgdb/MsgDbLog.h"
#include "msgdb/SqliteSerialType.h"
#include "msgdb/SqliteVarint.h"

#include "frame/RegularFileReader.h"

#include <QtDebug>

#include <cstring>
#include <stdexcept>

namespace {

// A fuzzed file can be damaged in thousands of places; the first ones tell the story.
constexpr int maxDamageNotes = 200;
constexpr int fileHeaderSize = 100;

std::runtime_error failure(const QString& text)
{
    return std::runtime_error(text.toStdString());
}

} // namespace

Sqlite3File::Sqlite3File(const QString& path)
    : m_path(path)
{
}

Sqlite3File::~Sqlite3File()
{
    unmap();
}

void Sqlite3File::unmap()
{
    m_file.close(); // releases the mapping as well
    m_image.clear();
    m_size = 0;
    m_data = nullptr;
    m_dataEnd = nullptr;
    m_pageSize = 0;
}

void Sqlite3File::open()
{
    unmap();
    // Only a regular file: a FIFO handed in would block the open until a writer came.
    m_file.setFileName(m_path);
    try {
        openRegularFileForReading(m_file);
    } catch (const std::runtime_error& e) {
        throw failure(QStringLiteral("open %1 failed. %2").arg(m_path, QString::fromUtf8(e.what())));
    }
    const qint64 size = m_file.size();
    // The page size sits in bytes 16-17; Qt cannot map an empty file, so test the size first.
    if (size <= 18) {
        unmap();
        throw failure(QStringLiteral("invalid page size."));
    }
    const uchar* mapping = m_file.map(0, size);
    if (!mapping) {
        const QString reason = m_file.errorString();
        unmap();
        throw failure(QStringLiteral("map %1 failed. %2").arg(m_path, reason));
    }
    m_size = size;
    m_data = mapping;
    m_dataEnd = mapping + size;
    readPageSize();
}

void Sqlite3File::openImage(const QByteArray& bytes)
{
    unmap();
    if (bytes.size() <= 18)
        throw failure(QStringLiteral("invalid page size."));
    m_image = bytes;
    setImage();
    readPageSize();
}

void Sqlite3File::setImage()
{
    m_size = m_image.size();
    m_data = reinterpret_cast<const uchar*>(m_image.constData());
    m_dataEnd = m_data + m_size;
}

void Sqlite3File::putPage(int n, const QByteArray& page)
{
    if (m_image.isEmpty() || n < 1 || m_pageSize <= 0)
        return;
    const qint64 start = pageOffset(n);
    const qint64 length = qMin<qint64>(page.size(), m_pageSize);
    if (start + m_pageSize > m_image.size())
        m_image.resize(start + m_pageSize, '\0');
    std::memcpy(m_image.data() + start, page.constData(), size_t(length));
    setImage();
}

// Bytes 16-17, where the format writes 1 for a page size of 65536.
void Sqlite3File::readPageSize()
{
    const int stored = u16At(16);
    m_pageSize = stored == 1 ? 65536 : stored;
    if (m_pageSize <= 0) {
        unmap();
        throw failure(QStringLiteral("invalid page size."));
    }
    if (!hasUsablePageSize())
        noteDamage(QStringLiteral("page size %1 is not a power of two from 512: no page is parsed").arg(m_pageSize));
}

// Page sizes below 512 make the format's local-size formulas negative or divide by zero.
bool Sqlite3File::hasUsablePageSize() const
{
    return m_pageSize >= 512 && m_pageSize <= 65536 && (m_pageSize & (m_pageSize - 1)) == 0;
}

qint64 Sqlite3File::pageCount() const
{
    return m_pageSize > 0 ? m_size / m_pageSize : 0;
}

quint32 Sqlite3File::firstFreelistTrunk() const
{
    return u32At(32);
}

quint32 Sqlite3File::freelistPageCount() const
{
    return u32At(36);
}

bool Sqlite3File::inFile(qint64 offset, qint64 length) const
{
    return offset >= 0 && length >= 0 && offset <= m_size && length <= m_size - offset;
}

quint8 Sqlite3File::u8At(qint64 offset) const
{
    return inFile(offset, 1) ? m_data[offset] : 0;
}

quint16 Sqlite3File::u16At(qint64 offset) const
{
    if (!inFile(offset, 2))
        return 0;
    return quint16((m_data[offset] << 8) | m_data[offset + 1]);
}

quint32 Sqlite3File::u32At(qint64 offset) const
{
    if (!inFile(offset, 4))
        return 0;
    const uchar* p = m_data + offset;
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
}

int Sqlite3File::varintAt(qint64 offset, qint64& out) const
{
    return inFile(offset, 0) ? sqlite_read_varint(out, m_data + offset, m_dataEnd) : 0;
}

qint64 Sqlite3File::offsetOf(const uchar* p) const
{
    const quintptr at = reinterpret_cast<quintptr>(p);
    const quintptr begin = reinterpret_cast<quintptr>(m_data);
    if (!p || !m_data || at < begin || at - begin > quintptr(m_size))
        return -1;
    return qint64(at - begin);
}

const uchar* Sqlite3File::pointerAt(qint64 offset) const
{
    return inFile(offset, 0) ? m_data + offset : nullptr;
}

qint64 Sqlite3File::pageOffset(qint64 n) const
{
    return (n - 1) * m_pageSize;
}

bool Sqlite3File::isPageNumber(qint64 n) const
{
    return n >= 1 && n <= pageCount();
}

void Sqlite3File::noteDamage(const QString& note) const
{
    if (m_damageNotes.size() >= maxDamageNotes || m_damageSeen.contains(note))
        return;
    m_damageSeen.insert(note);
    m_damageNotes.append(note);
}

_SqlitePage Sqlite3File::page(int n) const
{
    _SqlitePage page;
    if (n < 1)
        return page;
    page.pageNo = n;
    if (!hasUsablePageSize())
        return page;
    const qint64 start = pageOffset(n);
    const qint64 header = n == 1 ? start + fileHeaderSize : start;
    if (!inFile(header, 1))
        return page;
    page.pageStart = m_data + start;
    page.headerStart = m_data + header;
    page.type = u8At(header);
    if (!page.isBtreePage())
        return page;

    page.firstFreeblock = u16At(header + 1);
    const int cellCount = u16At(header + 3);
    page.cellContentStart = u16At(header + 5);
    if (page.cellContentStart == 0)
        page.cellContentStart = 65536;
    page.fragmentedBytes = u8At(header + 7);
    qint64 pointerArray = header + 8;
    if (!page.isLeafPage()) {
        page.rightChild = u32At(header + 8);
        pointerArray = header + 12;
    }

    const qint64 fitting = (m_pageSize - (pointerArray - start)) / 2;
    qint64 count = cellCount;
    if (count > fitting) {
        noteDamage(QStringLiteral("page %1: cell count %2 exceeds the page, %3 read").arg(n).arg(cellCount).arg(fitting));
        count = fitting;
    }
    int outside = 0;
    for (qint64 i = 0; i < count; ++i) {
        const int offset = u16At(pointerArray + 2 * i);
        if (offset <= 0 || offset >= m_pageSize || !inFile(start + offset, 1)) {
            ++outside;
            continue;
        }
        page.cells.append(m_data + start + offset);
    }
    if (outside > 0)
        noteDamage(QStringLiteral("page %1: %2 cell pointers outside the page skipped").arg(n).arg(outside));

    // Freeblocks are at least 4 bytes and their chain must move forward, so a page holds
    // at most pageSize / 4 of them.
    const int maxFreeblocks = m_pageSize / 4;
    int offset = page.firstFreeblock;
    while (offset > 0) {
        if (offset >= m_pageSize || !inFile(start + offset, 1)) {
            noteDamage(QStringLiteral("page %1: freeblock at offset %2 outside the page").arg(n).arg(offset));
            break;
        }
        page.freeblocks.append(m_data + start + offset);
        if (offset + 2 > m_pageSize || !inFile(start + offset, 2))
            break;
        const int next = u16At(start + offset);
        if (next > 0 && next <= offset) {
            noteDamage(QStringLiteral("page %1: freeblock chain turns back at offset %2").arg(n).arg(offset));
            break;
        }
        if (page.freeblocks.size() >= maxFreeblocks) {
            noteDamage(QStringLiteral("page %1: more freeblocks than the page can hold").arg(n));
            break;
        }
        offset = next;
    }
    return page;
}

_SqliteCell Sqlite3File::cell(const _SqlitePage& page, const uchar* p) const
{
    _SqliteCell cell;
    qint64 at = offsetOf(p);
    if (!hasUsablePageSize() || !page.isBtreePage() || at < 0)
        return cell;
    if (!page.isLeafPage()) {
        cell.leftChild = u32At(at);
        at = qMin(at + 4, m_size);
    }
    if (page.isLeafPage() || page.isIndexPage())
        at += varintAt(at, cell.payloadSize);
    if (!page.isIndexPage())
        at += varintAt(at, cell.rowid);
    cell.payloadStart = m_data + at;
    if (cell.payloadSize <= 0)
        return cell;

    const qint64 usable = m_pageSize;
    const qint64 maxLocal = page.isIndexPage() ? ((usable - 12) * 64 / 255) - 23 : usable - 35;
    const qint64 minLocal = ((usable - 12) * 32 / 255) - 23;
    const qint64 total = cell.payloadSize;
    if (total <= maxLocal) {
        cell.localSize = qint32(total);
        return cell;
    }
    const qint64 surplus = minLocal + ((total - minLocal) % (usable - 4));
    cell.localSize = qint32(surplus <= maxLocal ? surplus : minLocal);
    cell.firstOverflow = u32At(at + cell.localSize);
    return cell;
}

QByteArray Sqlite3File::payload(const _SqliteCell& cell) const
{
    const qint64 at = offsetOf(cell.payloadStart);
    if (!hasUsablePageSize() || cell.payloadSize <= 0 || at < 0)
        return {};
    const qint64 local = qBound<qint64>(0, qint64(cell.localSize), cell.payloadSize);
    QByteArray bytes(reinterpret_cast<const char*>(m_data + at), qMin(local, m_size - at));
    const qint64 remaining = cell.payloadSize - local;
    if (remaining > 0)
        bytes += overflowBytes(cell.firstOverflow, remaining, BadLink::TakePage);
    return bytes;
}

QByteArray Sqlite3File::overflowBytes(quint32 first, qint64 length, BadLink badLink) const
{
    QByteArray bytes;
    if (!hasUsablePageSize())
        return bytes;
    // Each page is read once, so a chain yields at most the file's size however long it claims to be.
    QSet<quint32> visited;
    qint64 remaining = length;
    quint32 page = first;
    while (remaining > 0 && page > 1 && isPageNumber(page)) {
        if (visited.contains(page)) {
            if (badLink == BadLink::TakePage)
                noteDamage(QStringLiteral("overflow chain from page %1 returns to page %2").arg(first).arg(page));
            return bytes;
        }
        visited.insert(page);
        const qint64 start = pageOffset(page);
        const quint32 next = u32At(start);
        if (badLink == BadLink::SkipPage && next > pageCount())
            return bytes;
        const qint64 take = qMin<qint64>(remaining, m_pageSize - 4);
        bytes.append(reinterpret_cast<const char*>(m_data + start + 4), take);
        remaining -= take;
        page = next;
    }
    if (remaining > 0 && badLink == BadLink::TakePage)
        noteDamage(QStringLiteral("overflow chain from page %1 ends %2 bytes short").arg(first).arg(remaining));
    return bytes;
}

_SqliteRow Sqlite3File::rowData(const _SqliteCell& cell) const
{
    _SqliteRow row;
    row.rowid = cell.rowid;
    row.fileOffset = offsetOf(cell.payloadStart);
    if (!hasUsablePageSize())
        return row;
    const QByteArray body = payload(cell);
    const uchar* begin = reinterpret_cast<const uchar*>(body.constData());
    const uchar* end = begin + body.size();

    qint64 headerLength = 0;
    const int used = sqlite_read_varint(headerLength, begin, end);
    if (!used) {
        qCWarning(lcMsgDb, "Sqlite3File::rowData, read header length failed.");
        return row;
    }
    QList<qint64> types;
    const uchar* pos = begin + used;
    while (pos - begin < headerLength) {
        qint64 type = 0;
        const int length = sqlite_read_varint(type, pos, end);
        if (!length) {
            qCWarning(lcMsgDb, "Sqlite3File::rowData, read column type failed.");
            return row;
        }
        types.append(type);
        pos += length;
    }
    row.values.reserve(types.size());
    for (qint64 type : types)
        sqlite_serial_type_append(row, type, pos, end);
    return row;
}

_SqliteFreelistTrunk Sqlite3File::freelistTrunk(int n) const
{
    _SqliteFreelistTrunk trunk;
    if (n < 1)
        return trunk;
    trunk.pageNo = n;
    if (!hasUsablePageSize())
        return trunk;
    const qint64 start = pageOffset(n);
    trunk.pageStart = pointerAt(start);
    trunk.nextTrunk = u32At(start);
    const quint32 fitting = quint32(m_pageSize - 8) / 4;
    quint32 count = u32At(start + 4);
    if (count > fitting) {
        noteDamage(QStringLiteral("freelist trunk %1: leaf count %2 exceeds the page, %3 read").arg(n).arg(count).arg(fitting));
        count = fitting;
    }
    int outside = 0;
    trunk.leaves.reserve(count);
    for (quint32 i = 0; i < count; ++i) {
        const quint32 leaf = u32At(start + 8 + 4 * qint64(i));
        if (!isPageNumber(leaf))
            ++outside;
        trunk.leaves.append(leaf);
    }
    if (outside > 0)
        noteDamage(QStringLiteral("freelist trunk %1: %2 leaf page numbers outside the file").arg(n).arg(outside));
    return trunk;
}

QList<_SqliteFreelistTrunk> Sqlite3File::freelistTrunks() const
{
    QList<_SqliteFreelistTrunk> trunks;
    QSet<quint32> seen;
    for (quint32 n = firstFreelistTrunk(); n > 0; n = trunks.last().nextTrunk) {
        if (!isPageNumber(n)) {
            noteDamage(QStringLiteral("freelist trunk page %1 lies outside the file").arg(n));
            break;
        }
        if (seen.contains(n)) {
            noteDamage(QStringLiteral("freelist trunk chain returns to page %1").arg(n));
            break;
        }
        seen.insert(n);
        trunks.append(freelistTrunk(int(n)));
    }
    return trunks;
}

QList<_SqlitePage> Sqlite3File::leafPages(const _SqlitePage& page) const
{
    return walk(page, true);
}

QList<_SqlitePage> Sqlite3File::allPages(const _SqlitePage& page) const
{
    return walk(page, false);
}

// Depth-first with an explicit stack, so a deep or cyclic tree cannot exhaust the call
// stack; each page is entered once, so shared children cannot make the walk explode.
QList<_SqlitePage> Sqlite3File::walk(const _SqlitePage& start, bool leavesOnly) const
{
    QList<_SqlitePage> pages;
    if (!leavesOnly)
        pages.append(start);
    if (!hasUsablePageSize() || !start.isBtreePage())
        return pages;
    if (start.isLeafPage()) {
        if (leavesOnly)
            pages.append(start);
        return pages;
    }

    QList<quint32> stack; // page numbers still to enter; the next one at the back
    const auto pushChildren = [&](const _SqlitePage& parent) {
        QList<quint32> children;
        children.reserve(parent.cells.size() + 1);
        for (const uchar* cell : parent.cells)
            children.append(u32At(offsetOf(cell)));
        children.append(parent.rightChild);
        for (auto child = children.crbegin(); child != children.crend(); ++child) {
            if (isPageNumber(*child))
                stack.append(*child);
            else
                noteDamage(QStringLiteral("page %1: child page %2 outside the file").arg(parent.pageNo).arg(*child));
        }
    };

    QSet<quint32> entered{quint32(start.pageNo)};
    pushChildren(start);
    while (!stack.isEmpty()) {
        const quint32 n = stack.takeLast();
        if (entered.contains(n)) {
            noteDamage(QStringLiteral("page %1 is reached twice in the tree of page %2").arg(n).arg(start.pageNo));
            continue;
        }
        entered.insert(n);
        const _SqlitePage child = page(int(n));
        if (!child.isBtreePage()) {
            noteDamage(QStringLiteral("page %1 in the tree of page %2 is no b-tree page").arg(n).arg(start.pageNo));
            continue;
        }
        if (child.isLeafPage() || !leavesOnly)
            pages.append(child);
        if (!child.isLeafPage())
            pushChildren(child);
    }
    return pages;
}
