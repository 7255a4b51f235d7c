#include "sqlite/SqliteTableInfo.h"

bool SqliteTableInfo::contains(const QString& name) const
{
    for (const _SqliteCol& c : m_columns) {
        if (c.name.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

_SqliteCol SqliteTableInfo::value(const QString& name) const
{
    for (const _SqliteCol& c : m_columns) {
        if (c.name.compare(name, Qt::CaseInsensitive) == 0)
            return c;
    }
    return _SqliteCol();
}
