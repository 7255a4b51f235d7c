#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

// One SQL statement with the values of its "?" parameters, bound in order.
class Sqlite3Sql
{
public:
    enum class ParamKind { Null, Int64, Double, Text, Blob };
    struct Param
    {
        ParamKind kind;
        QVariant value;
    };

    Sqlite3Sql() = default;
    Sqlite3Sql(const QString& sql);
    Sqlite3Sql(const char* sql);
    Sqlite3Sql(const QByteArray& sql);

    Sqlite3Sql& appendSql(const QString& sql);
    // Replaces the text, keeping the parameters.
    Sqlite3Sql& setSql(const QByteArray& sql);

    // A null QString binds the empty text, never NULL: NOT NULL text columns rely on it.
    Sqlite3Sql& addTextParam(const QString& value);
    Sqlite3Sql& addIntParam(int value);
    Sqlite3Sql& addInt64Param(qint64 value);
    Sqlite3Sql& addDoubleParam(double value);
    // An empty array binds a zero-length blob, not NULL.
    Sqlite3Sql& addBlobParam(const QByteArray& value);
    Sqlite3Sql& addNullParam();
    // Binds by the variant's type; an invalid variant binds NULL.
    Sqlite3Sql& addVariantParam(const QVariant& value);

    const QByteArray& sql() const { return m_sql; }
    const QList<Param>& params() const { return m_params; }

private:
    QByteArray m_sql;
    QList<Param> m_params;
};
