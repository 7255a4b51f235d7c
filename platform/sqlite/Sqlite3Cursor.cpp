#include "sqlite/Sqlite3Cursor.h"

#include "sqlite/Sqlite3Stmt.h"

#include <sqlite3.h>

Sqlite3Cursor::Sqlite3Cursor(sqlite3* db, const QSharedPointer<SqliteStatementCache>& cache, const Sqlite3Sql& sql)
    : m_db(db), m_cache(cache), m_sql(sql), m_stmt(QSharedPointer<Sqlite3Stmt>::create(db, cache, sql))
{
}

bool Sqlite3Cursor::moveNext()
{
    return m_stmt->step();
}

int Sqlite3Cursor::readableColumn(const QString& name) const
{
    return m_stmt->onRow() ? m_stmt->columnIndex(name) : -1;
}

bool Sqlite3Cursor::readable(int position) const
{
    return m_stmt->onRow() && position >= 0 && position < m_stmt->columnCount();
}

int Sqlite3Cursor::columnIndex(const QString& name) const
{
    return readableColumn(name);
}

QString Sqlite3Cursor::getText(const QString& name) const
{
    return getText(readableColumn(name));
}

QString Sqlite3Cursor::getText(int position) const
{
    if (!readable(position))
        return QString();
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt->handle(), position));
    return QString::fromUtf8(text, sqlite3_column_bytes(m_stmt->handle(), position));
}

int Sqlite3Cursor::getInt(const QString& name) const
{
    return getInt(readableColumn(name));
}

int Sqlite3Cursor::getInt(int position) const
{
    return readable(position) ? sqlite3_column_int(m_stmt->handle(), position) : 0;
}

qint64 Sqlite3Cursor::getInt64(const QString& name) const
{
    return getInt64(readableColumn(name));
}

qint64 Sqlite3Cursor::getInt64(int position) const
{
    return readable(position) ? sqlite3_column_int64(m_stmt->handle(), position) : 0;
}

double Sqlite3Cursor::getDouble(const QString& name) const
{
    const int i = readableColumn(name);
    return i < 0 ? 0.0 : sqlite3_column_double(m_stmt->handle(), i);
}

QByteArray Sqlite3Cursor::getBlob(const QString& name) const
{
    return getBlob(readableColumn(name));
}

QByteArray Sqlite3Cursor::getBlob(int position) const
{
    if (!readable(position))
        return QByteArray();
    const void* data = sqlite3_column_blob(m_stmt->handle(), position);
    const int size = sqlite3_column_bytes(m_stmt->handle(), position);
    return data ? QByteArray(static_cast<const char*>(data), size) : QByteArray();
}

bool Sqlite3Cursor::isNull(const QString& name) const
{
    const int i = readableColumn(name);
    return i < 0 || sqlite3_column_type(m_stmt->handle(), i) == SQLITE_NULL;
}

int Sqlite3Cursor::count() const
{
    // A second run of the same statement, so this cursor's position is untouched.
    Sqlite3Stmt counter(m_db, m_cache.toStrongRef(), m_sql);
    int rows = 0;
    while (counter.step())
        ++rows;
    return rows;
}

Sqlite3Row Sqlite3Cursor::getRow() const
{
    Sqlite3Row row;
    if (!m_stmt->onRow())
        return row;
    sqlite3_stmt* stmt = m_stmt->handle();
    for (int i = 0; i < m_stmt->columnCount(); ++i) {
        QVariant value;
        switch (sqlite3_column_type(stmt, i)) {
        case SQLITE_INTEGER:
            value = qlonglong(sqlite3_column_int64(stmt, i));
            break;
        case SQLITE_FLOAT:
            value = sqlite3_column_double(stmt, i);
            break;
        case SQLITE_TEXT:
            value = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)),
                                      sqlite3_column_bytes(stmt, i));
            break;
        case SQLITE_BLOB: {
            const void* data = sqlite3_column_blob(stmt, i);
            const int size = sqlite3_column_bytes(stmt, i);
            value = data ? QByteArray(static_cast<const char*>(data), size) : QByteArray("");
            break;
        }
        default:
            break;
        }
        const QString name = columnName(i);
        if (!row.contains(name)) // the first of repeated names wins, as in the getters
            row.insert(name, value);
    }
    return row;
}

int Sqlite3Cursor::columnCount() const
{
    return m_stmt->columnCount();
}

QString Sqlite3Cursor::columnName(int position) const
{
    return QString::fromUtf8(sqlite3_column_name(m_stmt->handle(), position));
}
