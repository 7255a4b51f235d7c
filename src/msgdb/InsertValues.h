#pragma once

#include "sqlite/Sqlite3Sql.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The values of one row to insert, column by column. A column added "or default" binds
// NULL for an empty value, which the insert turns into the column's declared default, so
// that every row of a table names the same columns and one compiled statement serves all.
class InsertValues
{
public:
    struct Column
    {
        const char* name;
        bool orDefault;
        bool operator==(const Column& other) const { return name == other.name && orDefault == other.orDefault; }
    };

    void add(const char* column, const QString& value);
    void add(const char* column, qint64 value);
    void addBlob(const char* column, const QByteArray& value);
    void addOrDefault(const char* column, const QString& value);
    void addBlobOrDefault(const char* column, const QByteArray& value);
    // present false leaves the column at its default.
    void addOrDefault(const char* column, qint64 value, bool present);

    const QList<Column>& columns() const { return m_columns; }
    // The parameters, under the statement text given.
    Sqlite3Sql sql(const QByteArray& text) const;

private:
    QList<Column> m_columns;
    Sqlite3Sql m_params;
};
