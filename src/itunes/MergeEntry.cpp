#include "itunes/MergeEntry.h"

#include "model/MsgMessage.h"

namespace {

// |a - b| without overflow, whatever row ids a crafted file holds.
quint64 distance(qint64 a, qint64 b)
{
    return a > b ? quint64(a) - quint64(b) : quint64(b) - quint64(a);
}

// A row of the backup goes first; entries of the same kind tie.
bool backupRowFirst(const _MergeEntry& a, const _MergeEntry& b)
{
    return a.existing && !b.existing;
}

} // namespace

_MergeEntry _MergeEntry::fromBackupRow(const BackupMessageRow& row)
{
    _MergeEntry e;
    e.seq = row.rowid;
    e.date = row.date;
    e.row = &row;
    e.existing = true;
    return e;
}

_MergeEntry _MergeEntry::fromNewMessage(const _MsgMessage& message)
{
    _MergeEntry e;
    e.seq = message.seq;
    e.date = message.date;
    e.message = &message;
    return e;
}

bool compareMergeEntries(const _MergeEntry& a, const _MergeEntry& b)
{
    const bool close = distance(a.seq, b.seq) <= 20 && distance(a.date, b.date) <= 120;
    if (!close) {
        if (a.date != b.date)
            return a.date < b.date;
        return backupRowFirst(a, b);
    }
    if (a.seq != b.seq)
        return a.seq < b.seq;
    return backupRowFirst(a, b);
}
