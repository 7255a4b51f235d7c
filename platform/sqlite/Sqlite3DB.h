#pragma once

#include "sqlite/Sqlite3Cursor.h"
#include "sqlite/Sqlite3Sql.h"
#include "sqlite/SqliteTableInfo.h"

#include <QSharedPointer>
#include <QString>

struct sqlite3;
class SqliteStatementCache;

// One SQLite connection. Every operation on a closed connection throws.
class Sqlite3DB
{
public:
    // SQLite's own open flags: read-only, read-write on an existing file, read-write creating it.
    enum OpenFlags { ReadOnly = 1, ReadWrite = 2, ReadWriteCreate = 6 };

    Sqlite3DB() = default;
    virtual ~Sqlite3DB();
    Sqlite3DB(const Sqlite3DB&) = delete;
    Sqlite3DB& operator=(const Sqlite3DB&) = delete;

    // The connection handle for direct SQLite calls; null while closed.
    sqlite3* handle() const { return m_db; }
    bool isOpen() const { return m_db != nullptr; }

    void openThrow(const QString& path, int flags);
    // Closes at once; statements still alive keep SQLite's connection until they end.
    void close();

    // Takes the write lock at once, waiting up to the busy timeout for another writer.
    void beginTran();
    void commitTran();
    void rollbackTran();

    Sqlite3Cursor queryThrow(const Sqlite3Sql& sql);
    void executeThrow(const Sqlite3Sql& sql);
    // Runs a script of several statements; 0 on success, else SQLite's code with its message.
    int exec(const QString& script, QString& error);
    qint64 lastInsertId() const;
    // The columns of a table; empty for a missing table.
    SqliteTableInfo tbInfo(const QString& table);

private:
    sqlite3* connection() const;

    sqlite3* m_db = nullptr;
    QSharedPointer<SqliteStatementCache> m_statements;
};
