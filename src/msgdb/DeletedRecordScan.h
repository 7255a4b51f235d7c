#pragma once

#include "msgdb/SqliteRow.h"
#include "sqlite/SqliteCol.h"

#include <QList>
#include <QSet>
#include <QString>

#include <functional>

class AbsDb;
class MessageRecycleDb;
class ProgressForm;
class Sqlite3File;

// The walk over the deleted space of a message database that the iOS 5 and iOS 6
// recoveries share: the intact cells of freed table pages first, then the carving of
// every freed page and of the free space on the leaf pages of the live table. The file is
// read raw where the source connection has it, after a checkpoint has copied its
// write-ahead log into it. What the handlers store in the recycle store forms one
// transaction: committed when the walk completes, rolled back when an exception leaves it
// or the user cancels, so that a recovery either completes or leaves no trace.
class DeletedRecordScan
{
public:
    // form may be null: no progress, no cancel. Runs on the caller's thread.
    DeletedRecordScan(AbsDb& source, MessageRecycleDb& recycle, ProgressForm* form);

    // The rows of one layout carved out of one page: a b-tree page's gap and freeblocks,
    // any other page whole.
    using PageCarver = std::function<QList<_SqliteRow>(const QList<_SqliteCol>& layout, SqliteRowFilter filter)>;
    // Gets each row of an intact cell on a freed table leaf page, with the cell's row id.
    using FreedRowHandler = std::function<void(const _SqliteRow& row)>;
    // Called once for each page to carve, in the order the walk met them.
    using PageHandler = std::function<void(int pageNo, const PageCarver& carve)>;

    // table: the live table whose leaf pages are carved after the freed pages; without
    // it in the schema only the freed pages' cells are taken.
    void run(const QString& table, const FreedRowHandler& takeFreedRow, const PageHandler& carvePage);

    // True once the user cancelled; handlers stop storing at the next row.
    bool cancelled() const;

private:
    void readFreelist(const Sqlite3File& file, const FreedRowHandler& takeFreedRow);
    bool addTableLeaves(const Sqlite3File& file, const QString& table);
    void carvePages(const Sqlite3File& file, const PageHandler& carvePage) const;
    // False when the page was met before: a freed leaf is met both on the freelist and
    // below the freed interior page above it, and its rows are the same both times.
    bool addPage(int pageNo);
    void rollBackQuietly();

    AbsDb& source;
    MessageRecycleDb& recycle;
    ProgressForm* form;
    // The pages to carve, in the order met.
    QList<int> pages;
    QSet<int> metPages;
};
