#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

struct sqlite3;
struct sqlite3_stmt;
class Sqlite3Sql;

// One prepared statement with its parameters bound; finalised on destruction.
// It may outlive the connection's close(): SQLite keeps the connection alive
// until the last statement is finalised.
class Sqlite3Stmt
{
public:
    Sqlite3Stmt(sqlite3* db, const Sqlite3Sql& sql);
    ~Sqlite3Stmt();
    Sqlite3Stmt(const Sqlite3Stmt&) = delete;
    Sqlite3Stmt& operator=(const Sqlite3Stmt&) = delete;

    // true when a row is there, false at the end; throws on an error.
    bool step();
    sqlite3_stmt* handle() const { return m_stmt; }
    // Index of the first column of that name, any case; -1 when there is none.
    int columnIndex(const QString& name) const;
    int columnCount() const;
    // Whether the last step() landed on a row whose values may be read.
    bool onRow() const { return m_onRow; }

private:
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_stmt = nullptr;
    QByteArray m_sqlText;
    QHash<QString, int> m_columns;
    bool m_onRow = false;
};
