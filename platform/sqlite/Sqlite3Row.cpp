#include "sqlite/Sqlite3Row.h"

QString quoteSqlIdentifier(const QString& name)
{
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

int Sqlite3Row::indexOf(const QString& name) const
{
    return m_positions.value(name.toLower(), -1);
}

bool Sqlite3Row::contains(const QString& name) const
{
    return indexOf(name) >= 0;
}

QVariant Sqlite3Row::value(const QString& name) const
{
    const int i = indexOf(name);
    return i < 0 ? QVariant() : m_values[i];
}

void Sqlite3Row::insert(const QString& name, const QVariant& value)
{
    (*this)[name] = value;
}

QVariant& Sqlite3Row::operator[](const QString& name)
{
    int i = indexOf(name);
    if (i < 0) {
        i = int(m_names.size());
        m_names.append(name);
        m_values.append(QVariant());
        m_positions.insert(name.toLower(), i);
    }
    return m_values[i];
}

void Sqlite3Row::remove(const QString& name)
{
    const int i = indexOf(name);
    if (i < 0)
        return;
    m_names.removeAt(i);
    m_values.removeAt(i);
    m_positions.clear();
    for (int j = 0; j < m_names.size(); ++j)
        m_positions.insert(m_names[j].toLower(), j);
}

Sqlite3Sql Sqlite3Row::insertSql(const QString& table, const QSet<QString>& excluded) const
{
    QSet<QString> excludedLower;
    for (const QString& name : excluded)
        excludedLower.insert(name.toLower());

    QStringList columns;
    QStringList marks;
    QList<QVariant> values;
    for (int i = 0; i < m_names.size(); ++i) {
        if (excludedLower.contains(m_names[i].toLower()))
            continue;
        columns.append(quoteSqlIdentifier(m_names[i]));
        marks.append(QStringLiteral("?"));
        values.append(m_values[i]);
    }

    Sqlite3Sql sql(columns.isEmpty()
                       ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quoteSqlIdentifier(table))
                       : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                             .arg(quoteSqlIdentifier(table), columns.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
    for (const QVariant& v : values)
        sql.addVariantParam(v);
    return sql;
}
