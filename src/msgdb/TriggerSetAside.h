#pragma once

#include <QString>

class Sqlite3DB;

// Takes a trigger out of the schema for part of the caller's transaction and puts it back
// with its stored text, so that every row of sqlite_master ends as it was, byte for byte.
// Only inside a transaction: a rollback brings the trigger back as well. A schema without
// the trigger is left alone.
class TriggerSetAside
{
public:
    // Reads the trigger's stored text and drops it.
    TriggerSetAside(Sqlite3DB& db, const QString& name);
    TriggerSetAside(const TriggerSetAside&) = delete;
    TriggerSetAside& operator=(const TriggerSetAside&) = delete;

    bool wasPresent() const { return !storedSql.isEmpty(); }
    void putBack();

private:
    Sqlite3DB& db;
    QString storedSql;
};
