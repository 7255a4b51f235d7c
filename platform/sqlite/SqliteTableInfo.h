#pragma once

#include "sqlite/SqliteCol.h"

#include <QList>
#include <QString>

// The columns of one table in declaration order, found by name without regard to case.
class SqliteTableInfo
{
public:
    void append(const _SqliteCol& column) { m_columns.append(column); }
    bool contains(const QString& name) const;
    _SqliteCol value(const QString& name) const;
    const QList<_SqliteCol>& columns() const { return m_columns; }
    bool isEmpty() const { return m_columns.isEmpty(); }
    int size() const { return int(m_columns.size()); }

private:
    QList<_SqliteCol> m_columns;
};
