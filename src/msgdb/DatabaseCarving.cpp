#include "msgdb/DatabaseCarving.h"

#include "msgdb/Sqlite3File.h"
#include "msgdb/SqliteRecordCarver.h"
#include "sqlite/Sqlite3DB.h"

#include <QDataStream>
#include <QRegularExpression>
#include <QSet>

#include <stdexcept>

namespace {

struct Table
{
    int rootPage = 0;
    QList<_SqliteCol> columns;
    int rowidColumn = -1; // the INTEGER PRIMARY KEY column, whose value the record stores as NULL
    CarvedTable found;
    // The live rows without their row-id column, to tell a stale copy from a deleted row.
    QSet<QByteArray> liveContents;
};

QVariantList rowValues(const Table& table, const _SqliteRow& row)
{
    QVariantList values;
    for (int i = 0; i < row.values.size(); ++i) {
        const bool rowidKnown = i == table.rowidColumn && row.rowid > 0 && row.values[i].isNull();
        values.append(rowidKnown ? QVariant(row.rowid) : row.values[i]);
    }
    return values;
}

// Carving without a filter takes any bytes that happen to fit the layout, and each false
// find makes the carver skip past the start of the next real record. A row with nothing in
// it, or with a text that is not clean UTF-8, is such a find.
bool plausibleRow(const _SqliteRow& row)
{
    bool holdsSomething = false;
    for (const QVariant& value : row.values) {
        if (value.isNull())
            continue;
        if (value.typeId() == QMetaType::QString) {
            for (const QChar c : value.toString()) {
                if (c == QChar::ReplacementCharacter || (c < QChar(0x20) && c != u'\t' && c != u'\n' && c != u'\r'))
                    return false;
            }
        }
        holdsSomething = holdsSomething || !value.toString().isEmpty() || !value.toByteArray().isEmpty();
    }
    return holdsSomething;
}

QByteArray contentKey(const Table& table, QVariantList values)
{
    if (table.rowidColumn >= 0 && table.rowidColumn < values.size())
        values.removeAt(table.rowidColumn);
    QByteArray key;
    QDataStream stream(&key, QIODevice::WriteOnly);
    stream << values;
    return key;
}

// The text comes from the file: only a plain table definition runs, never a query (a CREATE
// TABLE ... AS SELECT with a recursive query would not end). SQLite itself stores every
// table it made by a query as a plain definition.
QList<_SqliteCol> columnsOf(const QString& name, const QString& createSql)
{
    static const QRegularExpression query(QStringLiteral("\\bSELECT\\b"), QRegularExpression::CaseInsensitiveOption);
    if (!createSql.simplified().startsWith(QLatin1String("CREATE TABLE"), Qt::CaseInsensitive)
        || createSql.contains(query))
        throw std::runtime_error("it is not a plain CREATE TABLE statement");
    Sqlite3DB scratch;
    scratch.openThrow(QStringLiteral(":memory:"), Sqlite3DB::ReadWriteCreate);
    // Lets the scratch database define SQLite's own tables (sqlite_sequence of every
    // AUTOINCREMENT table, sqlite_stat1), whose names are otherwise refused.
    scratch.executeThrow("PRAGMA writable_schema=ON");
    scratch.executeThrow(createSql);
    return scratch.tbInfo(name).columns();
}

int rowidColumnOf(const QList<_SqliteCol>& columns)
{
    int found = -1;
    for (int i = 0; i < columns.size(); ++i) {
        if (!columns[i].primaryKey)
            continue;
        if (found >= 0)
            return -1; // a composite key is no row-id alias
        found = i;
    }
    return found >= 0 && columns[found].type.compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0 ? found : -1;
}

class Carving
{
public:
    explicit Carving(const QString& path)
        : m_file(path)
    {
        m_file.open();
    }

    DatabaseCarving run()
    {
        readSchema();
        for (Table& table : m_tables)
            readTable(table);
        readFreelist();

        DatabaseCarving carving;
        carving.pageSize = m_file.pageSize();
        for (const Table& table : std::as_const(m_tables))
            carving.tables.append(table.found);
        carving.skipped = m_skipped + m_file.damageNotes();
        return carving;
    }

private:
    QList<_SqliteRow> tableRows(const _SqlitePage& leaf) const
    {
        QList<_SqliteRow> rows;
        if (leaf.type == 13) {
            for (const uchar* cell : leaf.cells)
                rows.append(m_file.rowData(m_file.cell(leaf, cell)));
        }
        return rows;
    }

    void readSchema()
    {
        for (const _SqlitePage& leaf : m_file.leafPages(m_file.page(1))) {
            for (const _SqliteRow& row : tableRows(leaf)) {
                if (row.values.size() < 5 || row.values[0].toString() != QLatin1String("table"))
                    continue;
                Table table;
                table.found.name = row.values[1].toString();
                table.rootPage = row.values[3].toInt();
                if (table.rootPage < 1)
                    continue; // a virtual table keeps no pages
                try {
                    table.columns = columnsOf(table.found.name, row.values[4].toString());
                } catch (const std::exception& e) {
                    m_skipped.append(QStringLiteral("table %1: its CREATE statement cannot be read: %2")
                                         .arg(table.found.name, QString::fromUtf8(e.what())));
                    continue;
                }
                table.rowidColumn = rowidColumnOf(table.columns);
                for (const _SqliteCol& col : std::as_const(table.columns))
                    table.found.columns.append(col.name);
                m_tables.append(table);
            }
        }
    }

    bool carvable(const Table& table) const { return table.rowidColumn == 0 && table.columns.size() >= 2; }

    void readTable(Table& table)
    {
        const _SqlitePage root = m_file.page(table.rootPage);
        if (root.type != 5 && root.type != 13) {
            m_skipped.append(QStringLiteral("table %1: root page %2 is no table b-tree page")
                                 .arg(table.found.name)
                                 .arg(table.rootPage));
            return;
        }
        if (!carvable(table))
            m_skipped.append(QStringLiteral("table %1: deleted rows not carved, its first column is not "
                                            "an INTEGER PRIMARY KEY")
                                 .arg(table.found.name));
        const QList<_SqlitePage> leaves = m_file.leafPages(root);
        for (const _SqlitePage& leaf : leaves) {
            for (const _SqliteRow& row : tableRows(leaf)) {
                const QVariantList values = rowValues(table, row);
                table.found.live.append(values);
                table.liveContents.insert(contentKey(table, values));
            }
        }
        if (!carvable(table))
            return;
        const SqliteRecordCarver carver(m_file, table.columns, 0, plausibleRow);
        for (const _SqlitePage& leaf : leaves) {
            for (const _SqliteRow& row : carver.carveFreeSpace(leaf))
                addDeleted(table, row, inFreeblock(leaf, row) ? "freeblock" : "gap");
        }
    }

    bool inFreeblock(const _SqlitePage& leaf, const _SqliteRow& row) const
    {
        for (const uchar* freeblock : leaf.freeblocks) {
            const qint64 start = freeblock - m_file.data();
            const qint64 size = m_file.dataEnd() - freeblock >= 4 ? (freeblock[2] << 8) | freeblock[3] : 0;
            if (row.fileOffset >= start && row.fileOffset < start + size)
                return true;
        }
        return false;
    }

    // Freed pages hold rows of any table: every table's layout is carved from them, and
    // the intact cells of a freed table leaf go to the first table with as many columns.
    void readFreelist()
    {
        QSet<quint32> seen;
        int unmatched = 0;
        for (const _SqliteFreelistTrunk& trunk : m_file.freelistTrunks()) {
            carveWholePage(trunk.pageNo);
            for (quint32 leafNo : trunk.leaves) {
                if (leafNo < 1 || leafNo > m_file.pageCount() || seen.contains(leafNo))
                    continue;
                seen.insert(leafNo);
                const _SqlitePage freed = m_file.page(int(leafNo));
                if (!freed.isBtreePage()) {
                    carveWholePage(freed.pageNo);
                    continue;
                }
                for (const _SqlitePage& leaf : m_file.leafPages(freed)) {
                    for (const _SqliteRow& row : tableRows(leaf)) {
                        Table* table = tableWithColumns(row.values.size());
                        if (table)
                            addDeleted(*table, row, "freelist");
                        else
                            ++unmatched;
                    }
                    for (Table& table : m_tables) {
                        if (carvable(table)) {
                            const SqliteRecordCarver carver(m_file, table.columns, 0, plausibleRow);
                            for (const _SqliteRow& row : carver.carveFreeSpace(leaf))
                                addDeleted(table, row, "freelist");
                        }
                    }
                }
            }
        }
        if (unmatched > 0)
            m_skipped.append(QStringLiteral("%1 intact rows on freed pages match no table").arg(unmatched));
        if (m_staleCopies > 0)
            m_skipped.append(QStringLiteral("%1 stale copies of live rows left out").arg(m_staleCopies));
    }

    void carveWholePage(int n)
    {
        for (Table& table : m_tables) {
            if (carvable(table)) {
                const SqliteRecordCarver carver(m_file, table.columns, 0, plausibleRow);
                for (const _SqliteRow& row : carver.carvePageGap(n, 0))
                    addDeleted(table, row, "freelist");
            }
        }
    }

    Table* tableWithColumns(qsizetype count)
    {
        for (Table& table : m_tables) {
            if (table.columns.size() == count)
                return &table;
        }
        return nullptr;
    }

    // SQLite moves rows between pages as it rebalances a tree, so free space also holds
    // old copies of rows that are still live; those are not deleted rows.
    void addDeleted(Table& table, const _SqliteRow& row, const char* where)
    {
        const QVariantList values = rowValues(table, row);
        if (table.liveContents.contains(contentKey(table, values))) {
            ++m_staleCopies;
            return;
        }
        table.found.deleted.append(CarvedRow{values, row.fileOffset / m_file.pageSize() + 1,
                                             row.fileOffset % m_file.pageSize(), QLatin1String(where)});
    }

    Sqlite3File m_file;
    QList<Table> m_tables;
    QStringList m_skipped;
    int m_staleCopies = 0;
};

} // namespace

DatabaseCarving carveDatabase(const QString& path)
{
    return Carving(path).run();
}
