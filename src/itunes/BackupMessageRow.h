#pragma once

#include <QString>

// What the merge keeps of a message row of the backup's database; the row itself is
// copied from the database when its turn comes.
struct BackupMessageRow
{
    qint64 rowid = 0;
    qint32 date = 0; // seconds since 2001-01-01 UTC, held within 32 bits: a key to order by
    QString guid;
};
