#pragma once

#include "msgdb/SqliteCell.h"
#include "msgdb/SqliteFreelistTrunk.h"
#include "msgdb/SqlitePage.h"
#include "msgdb/SqliteRow.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QSet>
#include <QStringList>

// Reads a SQLite 3 database file straight from its bytes, without the SQLite engine;
// SqliteRecordCarver carves deleted records out of its unallocated space. The file may be
// damaged or crafted:
// no read leaves the mapping, every walk is bounded, and whatever had to be cut off is
// described in damageNotes(). Only open() throws.
class Sqlite3File
{
public:
    explicit Sqlite3File(const QString& path);
    ~Sqlite3File();
    Sqlite3File(const Sqlite3File&) = delete;
    Sqlite3File& operator=(const Sqlite3File&) = delete;

    // Maps the whole file read-only and reads its page size; throws std::runtime_error.
    void open();
    // Reads bytes, a database image held in memory, instead of the file; throws as open().
    void openImage(const QByteArray& bytes);
    // Puts page n of an image opened with openImage in place, growing the image when n lies
    // beyond its end; every pointer taken from the image before is invalid afterwards.
    void putPage(int n, const QByteArray& page);

    const uchar* data() const { return m_data; }
    const uchar* dataEnd() const { return m_dataEnd; }
    qint64 size() const { return m_size; }
    int pageSize() const { return m_pageSize; }
    // Whole pages in the file.
    qint64 pageCount() const;
    quint32 firstFreelistTrunk() const;
    quint32 freelistPageCount() const;

    // Pages are numbered from 1. A page that is no b-tree page keeps its type and has no cells.
    _SqlitePage page(int n) const;
    // p is one of page.cells.
    _SqliteCell cell(const _SqlitePage& page, const uchar* p) const;
    QByteArray payload(const _SqliteCell& cell) const;
    _SqliteRow rowData(const _SqliteCell& cell) const;

    _SqliteFreelistTrunk freelistTrunk(int n) const;
    // The trunk chain from firstFreelistTrunk(), ended at a page seen before or beyond the file.
    QList<_SqliteFreelistTrunk> freelistTrunks() const;

    // The leaf pages of the tree below page, in key order; each page is visited once.
    QList<_SqlitePage> leafPages(const _SqlitePage& page) const;
    // Every b-tree page of the tree below page, page itself first, in depth-first order.
    QList<_SqlitePage> allPages(const _SqlitePage& page) const;

    // How an overflow chain ends when a page's link to the next page lies beyond the file:
    // after that page (reading a payload), or before it (carving, where a bad link means
    // the chain is not the record's).
    enum class BadLink { TakePage, SkipPage };
    // Up to length bytes from the chain starting at page first; a chain that returns to a
    // page already read ends there.
    QByteArray overflowBytes(quint32 first, qint64 length, BadLink badLink) const;

    // Damaged structures that a read had to cut off, each described once, in the order met.
    QStringList damageNotes() const { return m_damageNotes; }

    // A page size from 512 to 65536 and a power of two; with any other no page is parsed.
    bool hasUsablePageSize() const;
    // The byte offset of p in the file, or -1 when p lies outside it.
    qint64 offsetOf(const uchar* p) const;
    // 0 when the two bytes are not both in the file.
    quint16 u16At(qint64 offset) const;

private:
    void readPageSize();
    void setImage();
    bool inFile(qint64 offset, qint64 length) const;
    quint8 u8At(qint64 offset) const;
    quint32 u32At(qint64 offset) const;
    // Bytes used; 0 with out untouched when the varint is cut by the end of the file.
    int varintAt(qint64 offset, qint64& out) const;
    const uchar* pointerAt(qint64 offset) const;
    qint64 pageOffset(qint64 n) const;
    bool isPageNumber(qint64 n) const;
    QList<_SqlitePage> walk(const _SqlitePage& start, bool leavesOnly) const;
    void noteDamage(const QString& note) const;
    void unmap();

    // The file is opened by its handle, which leaves m_file without the name.
    const QString m_path;
    QFile m_file;
    // The bytes read instead of the file after openImage().
    QByteArray m_image;
    qint64 m_size = 0;
    const uchar* m_data = nullptr;
    const uchar* m_dataEnd = nullptr;
    int m_pageSize = 0;
    mutable QStringList m_damageNotes;
    mutable QSet<QString> m_damageSeen;
};
