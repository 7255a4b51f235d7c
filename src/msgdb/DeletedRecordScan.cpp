#include "msgdb/DeletedRecordScan.h"

#include "frame/WorkerReport.h"
#include "model/MessageRecycleDb.h"
#include "msgdb/MsgDbLog.h"
#include "msgdb/ReadOnlyDatabaseSource.h"
#include "msgdb/Sqlite3File.h"
#include "msgdb/SqliteRecordCarver.h"
#include "msgdb/SqliteWalFrames.h"

#include <QCryptographicHash>
#include <QFile>
#include <QtDebug>

#include <sqlite3.h>

namespace {

constexpr quint8 tableLeafPage = 13;

// The file the connection reads.
QString mainFilePath(const AbsDb& db)
{
    const char* path = sqlite3_db_filename(db.handle(), "main");
    return path ? QString::fromUtf8(path) : QString();
}

// The file as it was before its log is folded in, as the start of the history the log's
// frames replay; a file that holds less than one page gets an empty first page.
QByteArray imageBeforeCheckpoint(const QString& path, int pageSize)
{
    QFile file(path);
    QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    if (bytes.size() < pageSize) {
        bytes = QByteArray(pageSize, '\0');
        const int stored = pageSize == 65536 ? 1 : pageSize;
        bytes[16] = char(stored >> 8);
        bytes[17] = char(stored & 0xff);
    }
    return bytes;
}

// Copies the log's pages into the private copy, so that the copy holds the final state.
void checkpoint(const QString& copy)
{
    Sqlite3DB db;
    try {
        db.openThrow(copy, Sqlite3DB::ReadWrite);
        // Reading first rolls back a hot journal the copy came with.
        db.queryThrow("select count(*) from sqlite_master").moveNext();
        QString error;
        if (db.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE);"), error) != 0)
            qCWarning(lcMsgDb, "DeletedRecordScan, checkpoint of %s failed: %s", qUtf8Printable(copy),
                      qUtf8Printable(error));
    } catch (const std::exception& e) {
        // The copy is then read as it lies on disk, which is still worth reading.
        qCWarning(lcMsgDb, "DeletedRecordScan, checkpoint of %s failed: %s", qUtf8Printable(copy), e.what());
    }
}

} // namespace

DeletedRecordScan::DeletedRecordScan(AbsDb& source, MessageRecycleDb& recycle, WorkerReport* form)
    : source(source)
    , recycle(recycle)
    , form(form)
{
}

bool DeletedRecordScan::cancelled() const
{
    return form && form->rejected;
}

void DeletedRecordScan::run(const QString& table, const FreedRowHandler& takeFreedRow, const PageHandler& carvePage)
{
    source.initDb();
    const QString path = mainFilePath(source);
    ReadOnlyDatabaseSource snapshot(path);
    const bool inPlace = ReadOnlyDatabaseSource::readableInPlace(path);
    const QString readPath = inPlace ? path : snapshot.privateCopy();

    // Every frame is read before the checkpoint folds the newest of them into the copy.
    const SqliteWalFrames log = readWalFrames(readPath + QStringLiteral("-wal"));
    Sqlite3File history(readPath);
    if (!log.frames.isEmpty())
        history.openImage(imageBeforeCheckpoint(readPath, log.pageSize));
    if (!inPlace)
        checkpoint(readPath);
    Sqlite3File file(readPath);
    file.open();

    pages.clear();
    metPages.clear();
    stepsDone = 0;
    const bool replayLog = !log.frames.isEmpty() && history.pageSize() == log.pageSize;
    recycle.beginTransaction();
    try {
        readFreelist(file, takeFreedRow);
        const bool hasTable = addTableLeaves(file, table);
        stepsTotal = (replayLog ? log.frames.size() : 0) + (hasTable ? pages.size() : 0);
        if (replayLog)
            readLog(history, log, takeFreedRow, carvePage);
        if (hasTable)
            carvePages(file, carvePage);
    } catch (...) {
        rollBackQuietly();
        throw;
    }
    recycle.endTransaction(!cancelled());
    for (const QString& note : file.damageNotes())
        qCWarning(lcMsgDb, "DeletedRecordScan, %s: %s", qUtf8Printable(path), qUtf8Printable(note));
}

// The frames replay the file's history in the order they were written, so each page image
// is read with the rest of the file as it stood then (its overflow pages included).
void DeletedRecordScan::readLog(Sqlite3File& history, const SqliteWalFrames& log,
                                const FreedRowHandler& takeFreedRow, const PageHandler& carvePage)
{
    // A page is written again at every commit that touches it; an image seen before adds nothing.
    QSet<QByteArray> seenImages;
    // Each page the file gains comes with a frame of its own: a larger number is damage.
    const qint64 lastPossiblePage = history.pageCount() + log.frames.size();
    for (const SqliteWalFrame& frame : log.frames) {
        if (cancelled())
            return;
        stepDone();
        if (frame.pageNo > lastPossiblePage)
            continue;
        history.putPage(int(frame.pageNo), frame.page);
        const QByteArray digest = QCryptographicHash::hash(frame.page, QCryptographicHash::Sha1);
        if (seenImages.contains(digest))
            continue;
        seenImages.insert(digest);
        const _SqlitePage page = history.page(int(frame.pageNo));
        // Interior and index pages hold no table records.
        if (page.isBtreePage() && page.type != tableLeafPage)
            continue;
        if (page.type == tableLeafPage) {
            for (const uchar* cell : page.cells)
                takeFreedRow(history.rowData(history.cell(page, cell)), CellOrigin::LogImage);
        }
        this->carvePage(history, page, carvePage);
    }
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
                    takeFreedRow(file.rowData(file.cell(freedLeaf, cell)), CellOrigin::FreedPage);
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

void DeletedRecordScan::carvePages(const Sqlite3File& file, const PageHandler& carvePage)
{
    for (const int pageNo : std::as_const(pages)) {
        if (cancelled())
            return;
        stepDone();
        this->carvePage(file, file.page(pageNo), carvePage);
    }
}

void DeletedRecordScan::carvePage(const Sqlite3File& file, const _SqlitePage& page, const PageHandler& carvePage)
{
    carvePage(page.pageNo, [&](const QList<_SqliteCol>& layout, SqliteRowFilter filter) {
        const SqliteRecordCarver carver(file, layout, 0, std::move(filter));
        return page.isBtreePage() ? carver.carveFreeSpace(page) : carver.carvePageGap(page.pageNo, 0);
    });
}

void DeletedRecordScan::stepDone()
{
    ++stepsDone;
    if (form)
        form->postProgress(QString(), int(double(stepsDone) / double(stepsTotal) * 100), QString());
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
        qCWarning(lcMsgDb, "DeletedRecordScan, rollback of the recycle store failed. %s", e.what());
    }
}
