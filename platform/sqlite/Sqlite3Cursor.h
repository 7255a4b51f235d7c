#pragma once

#include "sqlite/Sqlite3Row.h"
#include "sqlite/Sqlite3Sql.h"

#include <QByteArray>
#include <QSharedPointer>
#include <QWeakPointer>
#include <QString>

struct sqlite3;
class Sqlite3Stmt;
class SqliteStatementCache;

// The rows of one query. A value: copies share one statement, finalised with the
// last copy. Columns are found by name without regard to case; a column the
// result lacks reads as 0, empty text or empty bytes.
class Sqlite3Cursor
{
public:
    Sqlite3Cursor(sqlite3* db, const QSharedPointer<SqliteStatementCache>& cache, const Sqlite3Sql& sql);

    bool moveNext();

    QString getText(const QString& name) const;
    int getInt(const QString& name) const;
    qint64 getInt64(const QString& name) const;
    double getDouble(const QString& name) const;
    QByteArray getBlob(const QString& name) const;

    // By position, for reads of many rows: a position outside the result, or a read
    // before the first row, gives the same empty values as a missing name.
    int columnIndex(const QString& name) const;
    QString getText(int position) const;
    int getInt(int position) const;
    qint64 getInt64(int position) const;
    QByteArray getBlob(int position) const;
    // true for a NULL value and for a column the result lacks.
    bool isNull(const QString& name) const;

    // Rows of the whole result, wherever this cursor stands.
    int count() const;
    Sqlite3Row getRow() const;

    int columnCount() const;
    QString columnName(int position) const;

private:
    int readableColumn(const QString& name) const;
    bool readable(int position) const;

    sqlite3* m_db;
    QWeakPointer<SqliteStatementCache> m_cache;
    Sqlite3Sql m_sql;
    QSharedPointer<Sqlite3Stmt> m_stmt;
};
