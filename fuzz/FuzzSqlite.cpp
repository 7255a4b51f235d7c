#include "InputFile.h"
#include "msgdb/Sqlite3File.h"
#include "sqlite/SqliteCol.h"

#include <QList>
#include <QSet>

#include <stdexcept>

namespace {

// Two table layouts for the carver: a message table as phones keep it, and one column of
// every affinity and constraint the carver tells apart.
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

void readPage(const Sqlite3File& file, const _SqlitePage& page)
{
    for (const uchar* p : page.cells) {
        const _SqliteCell cell = file.cell(page, p);
        if (page.type == 13)
            (void)file.rowData(cell);
        else
            (void)file.payload(cell);
    }
    for (const QList<_SqliteCol>& layout : layouts())
        (void)file.carveFreeSpace(layout, 0, page, nullptr);
}

// The walks a recovery makes: every tree the schema names, then the freed pages.
void readFile(const Sqlite3File& file)
{
    QSet<int> tableRoots;
    for (const _SqlitePage& page : file.allPages(file.page(1))) {
        readPage(file, page);
        if (page.type != 13)
            continue;
        for (const uchar* p : page.cells) {
            const _SqliteRow row = file.rowData(file.cell(page, p));
            if (row.values.size() >= 4 && row.values[3].toInt() > 1)
                tableRoots.insert(row.values[3].toInt());
        }
    }
    for (int root : std::as_const(tableRoots)) {
        for (const _SqlitePage& page : file.allPages(file.page(root)))
            readPage(file, page);
    }
    for (const _SqliteFreelistTrunk& trunk : file.freelistTrunks()) {
        for (const QList<_SqliteCol>& layout : layouts())
            (void)file.carvePageGap(layout, 0, int(trunk.pageNo), 0, nullptr);
        for (quint32 leaf : trunk.leaves)
            readPage(file, file.page(int(leaf)));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Sqlite3File file(inputFilePath(data, size));
    try {
        file.open();
    } catch (const std::runtime_error&) {
        return 0;
    }
    readFile(file);
    (void)file.damageNotes();
    return 0;
}
