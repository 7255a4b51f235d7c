#pragma once

#include "itunes/BackupLock.h"

#include <QDir>

#include <memory>

// Every operation on a backup starts here, so that a publish a run left unfinished is
// finished or undone before anything reads or writes the folder.

// Takes the backup's lock (waiting a few seconds, else BackupInUseError) and settles a
// leftover intent record; InconsistentBackupError when that fails.
std::shared_ptr<BackupLock> lockBackupForWriting(const QDir& backupFolder);

// For readers: settles a leftover intent record when no one holds the backup; a record
// whose backup is locked belongs to a run in progress and is left alone.
void recoverBackupIfIdle(const QDir& backupFolder);
