#include "sqlite/Sqlite3Stmt.h"

#include "sqlite/Sqlite3ErrorText.h"
#include "sqlite/Sqlite3Exception.h"
#include "sqlite/Sqlite3Sql.h"

#include <sqlite3.h>

namespace {

std::string withSql(const std::string& message, const QByteArray& sql)
{
    return message + " (" + sql.toStdString() + ")";
}

bool isBlank(const char* text)
{
    for (; *text; ++text) {
        if (!isspace(static_cast<unsigned char>(*text)) && *text != ';')
            return false;
    }
    return true;
}

int bindParam(sqlite3_stmt* stmt, int slot, const Sqlite3Sql::Param& p)
{
    switch (p.kind) {
    case Sqlite3Sql::ParamKind::Null:
        return sqlite3_bind_null(stmt, slot);
    case Sqlite3Sql::ParamKind::Int64:
        return sqlite3_bind_int64(stmt, slot, p.value.toLongLong());
    case Sqlite3Sql::ParamKind::Double:
        return sqlite3_bind_double(stmt, slot, p.value.toDouble());
    case Sqlite3Sql::ParamKind::Text: {
        const QByteArray utf8 = p.value.toString().toUtf8();
        return sqlite3_bind_text(stmt, slot, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    case Sqlite3Sql::ParamKind::Blob: {
        const QByteArray bytes = p.value.toByteArray();
        return bytes.isEmpty() ? sqlite3_bind_zeroblob(stmt, slot, 0)
                               : sqlite3_bind_blob(stmt, slot, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
    }
    }
    return SQLITE_MISUSE;
}

} // namespace

Sqlite3Stmt::Sqlite3Stmt(sqlite3* db, const QSharedPointer<SqliteStatementCache>& cache, const Sqlite3Sql& sql)
    : m_db(db), m_cache(cache), m_sqlText(sql.sql())
{
    if (!db)
        throw Sqlite3Exception(withSql("the database is not open", m_sqlText));
    if (cache)
        m_prepared = cache->take(m_sqlText);
    if (!m_prepared.stmt)
        prepare();
    try {
        bind(sql);
    } catch (...) {
        sqlite3_finalize(m_prepared.stmt);
        throw;
    }
}

Sqlite3Stmt::~Sqlite3Stmt()
{
    const QSharedPointer<SqliteStatementCache> cache = m_cache.toStrongRef();
    if (!cache) {
        sqlite3_finalize(m_prepared.stmt);
        return;
    }
    sqlite3_reset(m_prepared.stmt);
    sqlite3_clear_bindings(m_prepared.stmt);
    cache->give(m_sqlText, m_prepared);
}

void Sqlite3Stmt::prepare()
{
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(m_db, m_sqlText.constData(), int(m_sqlText.size()), &stmt, &tail) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        throw Sqlite3Exception(withSql(sqliteErrorText(m_db), m_sqlText));
    }
    if (!stmt)
        throw Sqlite3Exception(withSql("empty statement", m_sqlText));
    // A second statement in the text would be ignored silently.
    if (tail && !isBlank(tail)) {
        sqlite3_finalize(stmt);
        throw Sqlite3Exception(withSql("more than one statement", m_sqlText));
    }
    m_prepared = {stmt};
}

void Sqlite3Stmt::bind(const Sqlite3Sql& sql)
{
    const auto& params = sql.params();
    if (params.size() != sqlite3_bind_parameter_count(m_prepared.stmt))
        throw Sqlite3Exception(withSql("parameter count does not match", m_sqlText));
    for (int i = 0; i < params.size(); ++i) {
        if (bindParam(m_prepared.stmt, i + 1, params[i]) != SQLITE_OK)
            throw Sqlite3Exception(withSql(sqliteErrorText(m_db), m_sqlText));
    }
}

bool Sqlite3Stmt::step()
{
    m_onRow = false;
    const int rc = sqlite3_step(m_prepared.stmt);
    m_onRow = rc == SQLITE_ROW;
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    throw Sqlite3Exception(withSql(sqliteErrorText(m_db), m_sqlText));
}

int Sqlite3Stmt::columnIndex(const QString& name) const
{
    if (!m_columnsRead) {
        const int n = sqlite3_column_count(m_prepared.stmt);
        for (int i = 0; i < n; ++i) {
            const QString column = QString::fromUtf8(sqlite3_column_name(m_prepared.stmt, i)).toLower();
            if (!m_columns.contains(column))
                m_columns.insert(column, i);
        }
        m_columnsRead = true;
    }
    return m_columns.value(name.toLower(), -1);
}

int Sqlite3Stmt::columnCount() const
{
    return sqlite3_column_count(m_prepared.stmt);
}
