#pragma once

#include "sqlite/Sqlite3DB.h"
#include "sqlite/Sqlite3Row.h"

#include <QList>
#include <QSet>
#include <QString>

// Base of every database class that owns one SQLite file. The file opens lazily:
// every operation calls initDb() first, so constructing an object is cheap.
class AbsDb : public Sqlite3DB
{
public:
    AbsDb() = default;
    // Closes the connection; SQLite rolls back a transaction still open.
    ~AbsDb() override = default;

    // Returns at once when open; otherwise makes the file ready and opens it, or throws.
    virtual void initDb() = 0;

    void beginTransaction();
    // Does nothing (and opens nothing) when no transaction is open. A failed commit
    // or rollback keeps the transaction marked open, so a later rollback is tried.
    void endTransaction(bool commit);
    bool isInTransaction() const { return inTransaction; }

    // Inserts the row without the excluded columns; returns the new row id.
    qint64 insertRow(const Sqlite3Row& row, const QString& table, const QSet<QString>& excludedColumns = {});
    QList<Sqlite3Row> selectAll(const QString& table);

protected:
    bool inTransaction = false;
};
