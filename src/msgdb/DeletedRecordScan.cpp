#include "msgdb/DeletedRecordScan.h"

#include "frame/ProgressForm.h"
#include "model/MessageRecycleDb.h"
#include "msgdb/Sqlite3File.h"

#include <QtDebug>

#include <sqlite3.h>

namespace {

constexpr quint8 tableLeafPage = 13;

// The file the connection reads, which after the checkpoint holds every committed page.
QString mainFilePath(const AbsDb& db)
{
    const char* path = sqlite3_db_filename(db.handle(), "main");
    return path ? QString::fromUtf8(path) : QString();
}

} // namespace

DeletedRecordScan::DeletedRecordScan(AbsDb& source, MessageRecycleDb& recycle, ProgressForm* form)
    : source(source), recycle(recycle), form(form)
{
}

bool DeletedRecordScan::cancelled() const
{
    return form && form->rejected;
}

void DeletedRecordScan::run(const QString& table, const FreedRowHandler& takeFreedRow, const PageHandler& carvePage)
{
    source.initDb();
    QString checkpointError;
    // When it fails the file is read as it is on disk, which is still worth reading.
    source.exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE);"), checkpointError);
    const QString path = mainFilePath(source);
    Sqlite3File file(path);
    file.open();

    pages.clear();
    metPages.clear();
    recycle.beginTransaction();
    try {
        readFreelist(file, takeFreedRow);
        if (addTableLeaves(file, table))
            carvePages(file, carvePage);
    } catch (...) {
        rollBackQuietly();
        throw;
    }
    recycle.endTransaction(!cancelled());
    for (const QString& note : file.damageNotes())
        qWarning("DeletedRecordScan, %s: %s", qUtf8Printable(path), qUtf8Printable(note));
}

void DeletedRecordScan::readFreelist(const Sqlite3File& file, const FreedRowHandler& takeFreedRow)
{
    // freelistTrunks() ends the chain at a page met before or outside the file.
    for (const _SqliteFreelistTrunk& trunk : file.freelistTrunks()) {
        if (cancelled())
            return;
        addPage(trunk.pageNo);
        for (const quint32 leaf : trunk.leaves) {
            if (cancelled())
                return;
            if (leaf < 1 || leaf > file.pageCount())
                continue;
            const _SqlitePage page = file.page(int(leaf));
            if (!page.isBtreePage()) {
                addPage(page.pageNo);
                continue;
            }
            // A freed b-tree page stands for the leaves below it; a freed interior page
            // holds no records and is not carved itself.
            for (const _SqlitePage& freedLeaf : file.leafPages(page)) {
                if (cancelled())
                    return;
                if (!addPage(freedLeaf.pageNo) || freedLeaf.type != tableLeafPage)
                    continue;
                for (const uchar* cell : freedLeaf.cells)
                    takeFreedRow(file.rowData(file.cell(freedLeaf, cell)));
            }
        }
    }
}

bool DeletedRecordScan::addTableLeaves(const Sqlite3File& file, const QString& table)
{
    Sqlite3Sql query("select rootpage from sqlite_master where type='table' and name=?");
    query.addTextParam(table);
    Sqlite3Cursor cursor = source.queryThrow(query);
    if (!cursor.moveNext())
        return false;
    for (const _SqlitePage& leaf : file.leafPages(file.page(cursor.getInt("rootpage"))))
        addPage(leaf.pageNo);
    return true;
}

void DeletedRecordScan::carvePages(const Sqlite3File& file, const PageHandler& carvePage) const
{
    const qsizetype total = pages.size();
    qsizetype done = 0;
    for (const int pageNo : pages) {
        if (cancelled())
            return;
        ++done;
        if (form)
            form->postProgress(QString(), int(double(done) / double(total) * 100), QString());
        const _SqlitePage page = file.page(pageNo);
        carvePage(pageNo, [&](const QList<_SqliteCol>& layout, SqliteRowFilter filter) {
            return page.isBtreePage() ? file.carveFreeSpace(layout, 0, page, filter)
                                      : file.carvePageGap(layout, 0, pageNo, 0, filter);
        });
    }
}

bool DeletedRecordScan::addPage(int pageNo)
{
    if (metPages.contains(pageNo))
        return false;
    metPages.insert(pageNo);
    pages.append(pageNo);
    return true;
}

void DeletedRecordScan::rollBackQuietly()
{
    // Runs while an exception is on its way out, which a failed rollback must not replace.
    // AbsDb then keeps the transaction marked open, so that the next end tries again.
    try {
        recycle.endTransaction(false);
    } catch (const std::exception& e) {
        qWarning("DeletedRecordScan, rollback of the recycle store failed. %s", e.what());
    }
}
