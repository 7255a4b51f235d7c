#pragma once

#include <QString>

class Sqlite3DB;

// An index that the merge's statements, or the phone's own triggers, need in the merge's
// working copy. Phones' files do not always have one: without it every join row written
// makes a trigger scan the whole join table. It is made only where no index of the file
// serves the same look-up, and dropped again before the file is published, so that the
// published file keeps the phone's own schema.
class WorkingCopyIndex
{
public:
    // Indexes table(column) under name unless a full index of the file already begins with
    // column. The names come from the caller's own constants.
    WorkingCopyIndex(Sqlite3DB& db, const char* name, const char* table, const char* column);

    // Drops the index when this object made it; once is enough.
    void drop();

private:
    Sqlite3DB& db;
    QString name;
    bool made = false;
};
