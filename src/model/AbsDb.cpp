#include "model/AbsDb.h"

void AbsDb::beginTransaction()
{
    initDb();
    beginTran();
    inTransaction = true;
}

void AbsDb::endTransaction(bool commit)
{
    if (!inTransaction)
        return;
    initDb();
    if (commit)
        commitTran();
    else
        rollbackTran();
    inTransaction = false;
}

qint64 AbsDb::insertRow(const Sqlite3Row& row, const QString& table, const QSet<QString>& excludedColumns)
{
    initDb();
    executeThrow(row.insertSql(table, excludedColumns));
    return lastInsertId();
}

QList<Sqlite3Row> AbsDb::selectAll(const QString& table)
{
    initDb();
    QList<Sqlite3Row> rows;
    Sqlite3Cursor cursor = queryThrow(QStringLiteral("select * from %1").arg(quoteSqlIdentifier(table)));
    while (cursor.moveNext())
        rows.append(cursor.getRow());
    return rows;
}
