#pragma once

#include "itunes/BackupMessageRow.h"

struct _MsgMessage;

// One element of the merge order: a message row of the backup's database, or a new
// message. The pointers do not own.
struct _MergeEntry
{
    qint64 seq = 0;  // the backup row's row id, or the new message's seq
    qint32 date = 0; // seconds since 2001-01-01 UTC
    const BackupMessageRow* row = nullptr; // set for a row of the backup
    const _MsgMessage* message = nullptr;  // set for a new message
    bool existing = false;                 // true for a row of the backup

    static _MergeEntry fromBackupRow(const BackupMessageRow& row);
    static _MergeEntry fromNewMessage(const _MsgMessage& message);
};

// The message order, with a row of the backup before a new message where the keys tie.
// Two entries of the same kind with equal keys are in no order: sort with safeSort.
bool compareMergeEntries(const _MergeEntry& a, const _MergeEntry& b);
