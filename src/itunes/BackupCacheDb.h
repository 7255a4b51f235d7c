#pragma once

#include "itunes/BackupFileState.h"

#include "sqlite/Sqlite3DB.h"

#include <QString>

#include <optional>

// "manifest.db" of a backup's cache folder: for every backed-up file copied into the
// cache, the state of the copied version (its record's time and size, and its stored
// file's digest). The file opens on first use, inside one transaction that lasts until
// destruction (which commits) or rollback(). No operation throws: a failure reads as
// "nothing cached" and writes nothing. One thread at a time. A file from before the
// size and digest were kept gains their columns, empty, so each of its copies counts as
// stale once; the columns take no value by default, so older writers still work on it.
class BackupCacheDb
{
public:
    explicit BackupCacheDb(const QString& path);
    ~BackupCacheDb();
    BackupCacheDb(const BackupCacheDb&) = delete;
    BackupCacheDb& operator=(const BackupCacheDb&) = delete;

    // No value when the file has no row for the name; a row written without a size or
    // digest reads with size -1 and an empty digest.
    std::optional<BackupFileState> recorded(const QString& fileName);
    void record(const QString& fileName, const BackupFileState& state);
    // Whether the copy recorded under the name was made of the version the backup now
    // holds: time, size and digest all equal, and the digest known. The rule for every
    // use of a cached copy.
    bool isCurrent(const QString& fileName, const BackupFileState& inBackup);
    void remove(const QString& fileName);
    // Drops every write since the file was opened, and closes it.
    void rollback();
    // Saves every write since the file was opened, and closes it; the next use opens it again.
    void commit();

    QString path() const { return m_path; }

private:
    void open();
    void create();
    void addStateColumns();

    QString m_path;
    Sqlite3DB m_db;
};
