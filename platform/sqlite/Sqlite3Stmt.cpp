#include "sqlite/Sqlite3Stmt.h"

#include "sqlite/Sqlite3Exception.h"
#include "sqlite/Sqlite3Sql.h"

#include <sqlite3.h>

namespace {

[[noreturn]] void throwStatementError(sqlite3* db, const QByteArray& sql)
{
    throw Sqlite3Exception(std::string(sqlite3_errmsg(db)) + " (" + sql.toStdString() + ")");
}

bool isBlank(const char* text)
{
    for (; *text; ++text) {
        if (!isspace(static_cast<unsigned char>(*text)) && *text != ';')
            return false;
    }
    return true;
}

} // namespace

Sqlite3Stmt::Sqlite3Stmt(sqlite3* db, const Sqlite3Sql& sql) : m_db(db), m_sqlText(sql.sql())
{
    if (!db)
        throw Sqlite3Exception("the database is not open (" + m_sqlText.toStdString() + ")");

    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db, m_sqlText.constData(), int(m_sqlText.size()), &m_stmt, &tail) != SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        throwStatementError(db, m_sqlText);
    }
    // A second statement in the text would be ignored silently.
    if (tail && !isBlank(tail)) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        throw Sqlite3Exception("more than one statement in (" + m_sqlText.toStdString() + ")");
    }
    if (!m_stmt)
        throw Sqlite3Exception("empty statement");

    const auto& params = sql.params();
    if (params.size() != sqlite3_bind_parameter_count(m_stmt)) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        throw Sqlite3Exception("parameter count does not match (" + m_sqlText.toStdString() + ")");
    }
    for (int i = 0; i < params.size(); ++i) {
        const int slot = i + 1;
        const Sqlite3Sql::Param& p = params[i];
        int rc = SQLITE_OK;
        switch (p.kind) {
        case Sqlite3Sql::ParamKind::Null:
            rc = sqlite3_bind_null(m_stmt, slot);
            break;
        case Sqlite3Sql::ParamKind::Int64:
            rc = sqlite3_bind_int64(m_stmt, slot, p.value.toLongLong());
            break;
        case Sqlite3Sql::ParamKind::Double:
            rc = sqlite3_bind_double(m_stmt, slot, p.value.toDouble());
            break;
        case Sqlite3Sql::ParamKind::Text: {
            const QByteArray utf8 = p.value.toString().toUtf8();
            rc = sqlite3_bind_text(m_stmt, slot, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
            break;
        }
        case Sqlite3Sql::ParamKind::Blob: {
            const QByteArray bytes = p.value.toByteArray();
            rc = bytes.isEmpty() ? sqlite3_bind_zeroblob(m_stmt, slot, 0)
                                 : sqlite3_bind_blob(m_stmt, slot, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
            break;
        }
        }
        if (rc != SQLITE_OK) {
            sqlite3_finalize(m_stmt);
            m_stmt = nullptr;
            throwStatementError(db, m_sqlText);
        }
    }

    const int n = sqlite3_column_count(m_stmt);
    for (int i = 0; i < n; ++i) {
        const QString name = QString::fromUtf8(sqlite3_column_name(m_stmt, i)).toLower();
        if (!m_columns.contains(name))
            m_columns.insert(name, i);
    }
}

Sqlite3Stmt::~Sqlite3Stmt()
{
    sqlite3_finalize(m_stmt);
}

bool Sqlite3Stmt::step()
{
    m_onRow = false;
    const int rc = sqlite3_step(m_stmt);
    m_onRow = rc == SQLITE_ROW;
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    throwStatementError(m_db, m_sqlText);
}

int Sqlite3Stmt::columnIndex(const QString& name) const
{
    return m_columns.value(name.toLower(), -1);
}

int Sqlite3Stmt::columnCount() const
{
    return sqlite3_column_count(m_stmt);
}
