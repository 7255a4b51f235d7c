#include "SqliteReading.h"

#include "msgdb/Sqlite3File.h"
#include "msgdb/SqliteRecordCarver.h"
#include "sqlite/SqliteCol.h"

#include <QList>

namespace {

constexpr int tableLeafPage = 13;

// A message table as phones keep it, and a table with one column of every affinity and
// constraint the carver tells apart.
const QList<QList<_SqliteCol>>& layouts()
{
    static const QList<QList<_SqliteCol>> all = {
        {
            {"ROWID", "INTEGER", false, false, true},
            {"address", "TEXT", false, false, false},
            {"date", "INTEGER", false, false, false},
            {"text", "TEXT", false, false, false},
            {"flags", "INTEGER", false, false, false},
            {"replace", "INTEGER", false, true, false},
        },
        {
            {"id", "INTEGER", false, false, true},
            {"name", "TEXT", true, false, false},
            {"amount", "REAL", false, false, false},
            {"body", "BLOB", false, false, false},
            {"count", "NUMERIC", false, true, false},
            {"anything", "", false, false, false},
        },
    };
    return all;
}

} // namespace

void readPage(const Sqlite3File& file, const _SqlitePage& page)
{
    for (const uchar* p : page.cells) {
        const _SqliteCell cell = file.cell(page, p);
        if (page.type == tableLeafPage)
            (void)file.rowData(cell);
        else
            (void)file.payload(cell);
    }
    for (const QList<_SqliteCol>& layout : layouts()) {
        const SqliteRecordCarver carver(file, layout, 0, nullptr);
        if (page.isBtreePage())
            (void)carver.carveFreeSpace(page);
        else
            (void)carver.carvePageGap(page.pageNo, 0);
    }
}
