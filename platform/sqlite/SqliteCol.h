#pragma once

#include <QString>

// One column of a table as PRAGMA table_info declares it. The type tests follow
// SQLite's affinity rules on the declared type.
class _SqliteCol
{
public:
    _SqliteCol() = default;
    _SqliteCol(const QString& name, const QString& type, bool notNull, bool hasDefault, bool primaryKey);

    QString name;
    QString type;
    bool notNull = false;
    bool hasDefault = false;
    bool primaryKey = false;

    bool isInteger() const;
    bool isText() const;
    bool isBlob() const;
    bool isReal() const;
    bool isNumeric() const;
};
