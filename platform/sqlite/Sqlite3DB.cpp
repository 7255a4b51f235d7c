#include "sqlite/Sqlite3DB.h"

#include "sqlite/Sqlite3ErrorText.h"
#include "sqlite/Sqlite3Exception.h"
#include "sqlite/Sqlite3Row.h"
#include "sqlite/Sqlite3Stmt.h"
#include "sqlite/SqliteStatementCache.h"

#include <sqlite3.h>

namespace {
// Several connections may touch one file (a database object and a worker's exporter).
constexpr int busyTimeoutMs = 5000;
}

Sqlite3DB::~Sqlite3DB()
{
    close();
}

sqlite3* Sqlite3DB::connection() const
{
    if (!m_db)
        throw Sqlite3Exception("the database is not open");
    return m_db;
}

void Sqlite3DB::openThrow(const QString& path, int flags)
{
    close();
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const std::string reason = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close_v2(db);
        throw Sqlite3Exception("cannot open database " + path.toStdString() + ": " + reason);
    }
    sqlite3_busy_timeout(db, busyTimeoutMs);
    sqlite3_extended_result_codes(db, 1);
    m_db = db;
    m_statements = QSharedPointer<SqliteStatementCache>::create();
}

void Sqlite3DB::close()
{
    if (m_db) {
        // Idle statements go first; those still in use end with their cursors.
        m_statements.reset();
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

void Sqlite3DB::beginTran()
{
    // Every transaction here writes. A deferred one that has read gets no busy wait when
    // it upgrades to a write while another connection writes: it fails at once with
    // "database is locked". Taking the write lock first makes a second writer wait.
    executeThrow("BEGIN IMMEDIATE");
}

void Sqlite3DB::commitTran()
{
    executeThrow("COMMIT");
}

void Sqlite3DB::rollbackTran()
{
    executeThrow("ROLLBACK");
}

Sqlite3Cursor Sqlite3DB::queryThrow(const Sqlite3Sql& sql)
{
    return Sqlite3Cursor(connection(), m_statements, sql);
}

void Sqlite3DB::executeThrow(const Sqlite3Sql& sql)
{
    Sqlite3Stmt stmt(connection(), m_statements, sql);
    while (stmt.step()) {
    }
}

int Sqlite3DB::exec(const QString& script, QString& error)
{
    if (!m_db) {
        error = QStringLiteral("the database is not open");
        return SQLITE_MISUSE;
    }
    char* message = nullptr;
    const int rc = sqlite3_exec(m_db, script.toUtf8().constData(), nullptr, nullptr, &message);
    sqlite3_free(message);
    error = rc == SQLITE_OK ? QString() : QString::fromStdString(sqliteErrorText(m_db));
    return rc;
}

qint64 Sqlite3DB::lastInsertId() const
{
    return sqlite3_last_insert_rowid(connection());
}

SqliteTableInfo Sqlite3DB::tbInfo(const QString& table)
{
    SqliteTableInfo info;
    Sqlite3Cursor cursor = queryThrow(QStringLiteral("PRAGMA table_info(%1)").arg(quoteSqlIdentifier(table)));
    while (cursor.moveNext()) {
        info.append(_SqliteCol(cursor.getText("name"), cursor.getText("type"), cursor.getInt("notnull") != 0,
                               !cursor.isNull("dflt_value"), cursor.getInt("pk") != 0));
    }
    return info;
}
