#include "msgdb/InsertValues.h"

void InsertValues::add(const char* column, const QString& value)
{
    m_columns.append({column, false});
    m_params.addTextParam(value);
}

void InsertValues::add(const char* column, qint64 value)
{
    m_columns.append({column, false});
    m_params.addInt64Param(value);
}

void InsertValues::addBlob(const char* column, const QByteArray& value)
{
    m_columns.append({column, false});
    m_params.addBlobParam(value);
}

void InsertValues::addOrDefault(const char* column, const QString& value)
{
    m_columns.append({column, true});
    if (value.isEmpty())
        m_params.addNullParam();
    else
        m_params.addTextParam(value);
}

void InsertValues::addBlobOrDefault(const char* column, const QByteArray& value)
{
    m_columns.append({column, true});
    if (value.isEmpty())
        m_params.addNullParam();
    else
        m_params.addBlobParam(value);
}

void InsertValues::addOrDefault(const char* column, qint64 value, bool present)
{
    m_columns.append({column, true});
    if (present)
        m_params.addInt64Param(value);
    else
        m_params.addNullParam();
}

Sqlite3Sql InsertValues::sql(const QByteArray& text) const
{
    Sqlite3Sql sql = m_params;
    sql.setSql(text);
    return sql;
}
