#include "itunes/WorkingCopyIndex.h"

#include "sqlite/Sqlite3DB.h"
#include "sqlite/Sqlite3Row.h"

namespace {

// A partial index serves only some rows, so it does not count.
bool hasIndexLeadingWith(Sqlite3DB& db, const QString& table, const QString& column)
{
    Sqlite3Cursor found = db.queryThrow(
        Sqlite3Sql("SELECT 1 FROM pragma_index_list(?1, 'main') AS l JOIN pragma_index_info(l.name, 'main') AS i "
                   "WHERE l.partial = 0 AND i.seqno = 0 AND i.name = ?2 COLLATE NOCASE LIMIT 1")
            .addTextParam(table)
            .addTextParam(column));
    return found.moveNext();
}

} // namespace

WorkingCopyIndex::WorkingCopyIndex(Sqlite3DB& db, const char* name, const char* table, const char* column)
    : db(db)
    , name(QLatin1String(name))
{
    if (hasIndexLeadingWith(db, QLatin1String(table), QLatin1String(column)))
        return;
    db.executeThrow(QStringLiteral("CREATE INDEX main.%1 ON %2 (%3)")
                        .arg(quoteSqlIdentifier(this->name), quoteSqlIdentifier(QLatin1String(table)),
                             quoteSqlIdentifier(QLatin1String(column))));
    made = true;
}

void WorkingCopyIndex::drop()
{
    if (!made)
        return;
    db.executeThrow(QStringLiteral("DROP INDEX main.%1").arg(quoteSqlIdentifier(name)));
    made = false;
}
