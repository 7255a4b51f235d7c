#include "sqlite/SqliteStatementCache.h"

#include <sqlite3.h>

namespace {
constexpr int capacity = 64;
}

SqliteStatementCache::~SqliteStatementCache()
{
    clear();
}

PreparedStatement SqliteStatementCache::take(const QByteArray& sql)
{
    auto it = m_idle.find(sql);
    if (it == m_idle.end() || it->isEmpty())
        return {};
    --m_count;
    return it->takeLast();
}

void SqliteStatementCache::give(const QByteArray& sql, const PreparedStatement& statement)
{
    if (m_count >= capacity) {
        sqlite3_finalize(statement.stmt);
        return;
    }
    m_idle[sql].append(statement);
    ++m_count;
}

void SqliteStatementCache::clear()
{
    for (const QList<PreparedStatement>& list : std::as_const(m_idle)) {
        for (const PreparedStatement& s : list)
            sqlite3_finalize(s.stmt);
    }
    m_idle.clear();
    m_count = 0;
}
