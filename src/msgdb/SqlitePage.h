#pragma once

#include <QList>
#include <QtGlobal>

// One b-tree page parsed from a Sqlite3File. The pointers point into the file's mapping
// and are valid while that Sqlite3File lives.
class _SqlitePage
{
public:
    bool isBtreePage() const;
    bool isIndexPage() const { return type & 2; }
    bool isLeafPage() const { return type & 8; }

    // Offsets within the page; a stored content start of 0 reads as 65536.
    int firstFreeblock = 0;
    int cellContentStart = 0;
    quint8 type = 0;
    quint8 fragmentedBytes = 0;
    // The right-most child of an interior page; 0 on leaf pages.
    quint32 rightChild = 0;
    qint32 pageNo = 0;
    // Null when the page lies beyond the end of the file.
    const uchar* pageStart = nullptr;
    // pageStart + 100 on page 1, where the file header comes first.
    const uchar* headerStart = nullptr;
    // The entries of the cell pointer array that point inside the page, in array order.
    QList<const uchar*> cells;
    // The freeblock chain in chain order.
    QList<const uchar*> freeblocks;
};
