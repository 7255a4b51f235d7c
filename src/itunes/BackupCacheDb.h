#pragma once

#include "sqlite/Sqlite3DB.h"

#include <QString>

#include <optional>

// "manifest.db" of a backup's cache folder: for every backed-up file copied into the
// cache, the modification time (seconds since 1970, from "Manifest.mbdb") of the copied
// version. The file opens on first use, inside one transaction that lasts until
// destruction (which commits) or rollback(). No operation throws: a failure reads as
// "nothing cached" and writes nothing. One thread at a time.
class BackupCacheDb
{
public:
    explicit BackupCacheDb(const QString& path);
    ~BackupCacheDb();
    BackupCacheDb(const BackupCacheDb&) = delete;
    BackupCacheDb& operator=(const BackupCacheDb&) = delete;

    // No value when the file has no row for the name: a stored 0 is a date like any other.
    std::optional<qint64> lastDate(const QString& fileName);
    void setLastDate(const QString& fileName, qint64 date);
    void remove(const QString& fileName);
    // Drops every write since the file was opened, and closes it.
    void rollback();
    // Saves every write since the file was opened, and closes it; the next use opens it again.
    void commit();

    QString path() const { return m_path; }

private:
    void open();
    void create();

    QString m_path;
    Sqlite3DB m_db;
};
