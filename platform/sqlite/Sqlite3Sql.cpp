#include "sqlite/Sqlite3Sql.h"

Sqlite3Sql::Sqlite3Sql(const QString& sql) : m_sql(sql.toUtf8()) {}

Sqlite3Sql::Sqlite3Sql(const char* sql) : m_sql(sql) {}

Sqlite3Sql::Sqlite3Sql(const QByteArray& sql) : m_sql(sql) {}

Sqlite3Sql& Sqlite3Sql::appendSql(const QString& sql)
{
    m_sql += sql.toUtf8();
    return *this;
}

Sqlite3Sql& Sqlite3Sql::setSql(const QByteArray& sql)
{
    m_sql = sql;
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addTextParam(const QString& value)
{
    m_params.append({ParamKind::Text, value.isNull() ? QString(QLatin1String("")) : value});
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addIntParam(int value)
{
    return addInt64Param(value);
}

Sqlite3Sql& Sqlite3Sql::addInt64Param(qint64 value)
{
    m_params.append({ParamKind::Int64, QVariant(qlonglong(value))});
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addDoubleParam(double value)
{
    m_params.append({ParamKind::Double, QVariant(value)});
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addBlobParam(const QByteArray& value)
{
    m_params.append({ParamKind::Blob, QVariant(value)});
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addNullParam()
{
    m_params.append({ParamKind::Null, QVariant()});
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addVariantParam(const QVariant& value)
{
    if (!value.isValid())
        return addNullParam();
    switch (value.metaType().id()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return addInt64Param(value.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return addDoubleParam(value.toDouble());
    case QMetaType::QByteArray:
        return addBlobParam(value.toByteArray());
    default:
        return addTextParam(value.toString());
    }
}
