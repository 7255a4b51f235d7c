#pragma once

#include "msgdb/SqliteRow.h"
#include "sqlite/SqliteCol.h"

#include <QList>
#include <QSet>
#include <QString>

#include <functional>

class AbsDb;
class MessageRecycleDb;
class WorkerReport;
class Sqlite3File;
class _SqlitePage;
struct SqliteWalFrames;

// The walk over the deleted space of a message database that the iOS 5 and iOS 6
// recoveries share: the older page images its write-ahead log still holds, then the intact
// cells of freed table pages, then the carving of every freed page and of the free space
// on the leaf pages of the live table. The file the source connection reads is never
// changed: where it has side files, a private copy is read, and only the copy's log is
// checkpointed, after its frames were read. What the handlers store in the recycle store
// forms one transaction: committed when the walk completes, rolled back when an exception
// leaves it or the user cancels, so that a recovery either completes or leaves no trace.
class DeletedRecordScan
{
public:
    // form may be null: no progress, no cancel. Runs on the caller's thread.
    DeletedRecordScan(AbsDb& source, MessageRecycleDb& recycle, WorkerReport* form);

    // The rows of one layout carved out of one page: a b-tree page's gap and freeblocks,
    // any other page whole.
    using PageCarver = std::function<QList<_SqliteRow>(const QList<_SqliteCol>& layout, SqliteRowFilter filter)>;
    // Where an intact cell was found: an older image of a live table's page in the log
    // holds every row the table had then, most of them still live.
    enum class CellOrigin { FreedPage, LogImage };
    // Gets each row of an intact cell on a freed table leaf page or on an older image of a
    // table leaf page in the log, with the cell's row id.
    using FreedRowHandler = std::function<void(const _SqliteRow& row, CellOrigin origin)>;
    // Called once for each page to carve, in the order the walk met them.
    using PageHandler = std::function<void(int pageNo, const PageCarver& carve)>;

    // table: the live table whose leaf pages are carved after the freed pages; without
    // it in the schema only the log's images and the freed pages' cells are taken.
    void run(const QString& table, const FreedRowHandler& takeFreedRow, const PageHandler& carvePage);

    // True once the user cancelled; handlers stop storing at the next row.
    bool cancelled() const;

private:
    void readLog(Sqlite3File& history, const SqliteWalFrames& log, const FreedRowHandler& takeFreedRow,
                 const PageHandler& carvePage);
    void readFreelist(const Sqlite3File& file, const FreedRowHandler& takeFreedRow);
    bool addTableLeaves(const Sqlite3File& file, const QString& table);
    void carvePages(const Sqlite3File& file, const PageHandler& carvePage);
    void carvePage(const Sqlite3File& file, const _SqlitePage& page, const PageHandler& carvePage);
    void stepDone();
    // False when the page was met before: a freed leaf is met both on the freelist and
    // below the freed interior page above it, and its rows are the same both times.
    bool addPage(int pageNo);
    void rollBackQuietly();

    AbsDb& source;
    MessageRecycleDb& recycle;
    WorkerReport* form;
    // The pages to carve, in the order met.
    QList<int> pages;
    QSet<int> metPages;
    // Progress over the log's frames and the pages to carve.
    qsizetype stepsDone = 0;
    qsizetype stepsTotal = 0;
};
