#pragma once

#include "sqlite/SqliteStatementCache.h"

#include <QByteArray>
#include <QHash>
#include <QSharedPointer>
#include <QString>
#include <QWeakPointer>

struct sqlite3;
class Sqlite3Sql;

// One compiled statement with its parameters bound. When it ends it goes back to its
// connection's cache, or is finalised when that connection has closed meanwhile
// (SQLite keeps a closed connection alive until its last statement is finalised).
class Sqlite3Stmt
{
public:
    Sqlite3Stmt(sqlite3* db, const QSharedPointer<SqliteStatementCache>& cache, const Sqlite3Sql& sql);
    ~Sqlite3Stmt();
    Sqlite3Stmt(const Sqlite3Stmt&) = delete;
    Sqlite3Stmt& operator=(const Sqlite3Stmt&) = delete;

    // true when a row is there, false at the end; throws on an error.
    bool step();
    sqlite3_stmt* handle() const { return m_prepared.stmt; }
    // Index of the first column of that name, any case; -1 when there is none.
    int columnIndex(const QString& name) const;
    int columnCount() const;
    // Whether the last step() landed on a row whose values may be read.
    bool onRow() const { return m_onRow; }

private:
    void prepare();
    void bind(const Sqlite3Sql& sql);

    sqlite3* m_db = nullptr;
    QWeakPointer<SqliteStatementCache> m_cache;
    QByteArray m_sqlText;
    PreparedStatement m_prepared;
    bool m_onRow = false;
    // Lower-case column name -> position, read after the first step: SQLite compiles a
    // cached statement again when the schema changed, and "*" may then stand for more columns.
    mutable QHash<QString, int> m_columns;
    mutable bool m_columnsRead = false;
};
