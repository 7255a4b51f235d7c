#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

struct sqlite3_stmt;

// A statement SQLite has compiled.
struct PreparedStatement
{
    sqlite3_stmt* stmt = nullptr;
};

// The idle compiled statements of one connection, by SQL text: compiling the same
// insert or lookup again for every message costs more than running it.
class SqliteStatementCache
{
public:
    SqliteStatementCache() = default;
    ~SqliteStatementCache();
    SqliteStatementCache(const SqliteStatementCache&) = delete;
    SqliteStatementCache& operator=(const SqliteStatementCache&) = delete;

    // An idle statement of that text, or one with a null stmt when there is none.
    PreparedStatement take(const QByteArray& sql);
    // Takes back a statement that has been reset; finalises it when the cache is full.
    void give(const QByteArray& sql, const PreparedStatement& statement);
    // Finalises every idle statement.
    void clear();

private:
    QHash<QByteArray, QList<PreparedStatement>> m_idle;
    int m_count = 0;
};
