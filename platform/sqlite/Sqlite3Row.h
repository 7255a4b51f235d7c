#pragma once

#include "sqlite/Sqlite3Sql.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>

// One row as column name -> value, in column order. Names compare without regard
// to case, as SQLite's do. NULL is an invalid QVariant; every other value keeps its
// type (qlonglong, double, QString, QByteArray).
class Sqlite3Row
{
public:
    bool contains(const QString& name) const;
    QVariant value(const QString& name) const;
    // Replaces the value of a column of that name (any case), or appends the column.
    void insert(const QString& name, const QVariant& value);
    QVariant& operator[](const QString& name);
    void remove(const QString& name);
    QStringList names() const { return m_names; }
    int size() const { return m_names.size(); }
    bool isEmpty() const { return m_names.isEmpty(); }

    // INSERT of this row into table, leaving out the excluded columns (compared
    // without regard to case); an empty set inserts every column, row id included.
    Sqlite3Sql insertSql(const QString& table, const QSet<QString>& excluded = {}) const;

private:
    int indexOf(const QString& name) const;

    QStringList m_names;
    QList<QVariant> m_values;
    QHash<QString, int> m_positions; // lower-case name -> index in m_names

};

// Double quotes an SQL identifier, doubling embedded quotes.
QString quoteSqlIdentifier(const QString& name);
