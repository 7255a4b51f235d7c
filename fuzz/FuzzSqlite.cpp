#include "InputFile.h"
#include "SqliteReading.h"
#include "msgdb/Sqlite3File.h"

#include <QSet>

#include <stdexcept>

namespace {

// The walks a recovery makes: every tree the schema names, then the freed pages.
void readFile(const Sqlite3File& file)
{
    QSet<int> tableRoots;
    for (const _SqlitePage& page : file.allPages(file.page(1))) {
        readPage(file, page);
        if (!page.isLeafPage() || page.isIndexPage())
            continue;
        for (const uchar* p : page.cells) {
            const _SqliteRow row = file.rowData(file.cell(page, p));
            if (row.values.size() >= 4 && row.values[3].toInt() > 1)
                tableRoots.insert(row.values[3].toInt());
        }
    }
    for (const int root : std::as_const(tableRoots)) {
        for (const _SqlitePage& page : file.allPages(file.page(root)))
            readPage(file, page);
    }
    for (const _SqliteFreelistTrunk& trunk : file.freelistTrunks()) {
        readPage(file, file.page(trunk.pageNo));
        for (const quint32 leaf : trunk.leaves) {
            for (const _SqlitePage& page : file.allPages(file.page(int(leaf))))
                readPage(file, page);
        }
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
