#pragma once

#include <QString>

#include <memory>

class QTemporaryDir;
class Sqlite3DB;

// A SQLite database that someone handed in, read so that neither the file nor anything
// beside it changes. SQLite rewrites the -shm and creates -wal and -shm even on a
// read-only connection, and "immutable" would ignore the log and the messages it holds:
// so the file is opened in place only when its header says rollback journal and no
// -wal, -shm or -journal lies beside it, and otherwise a private copy of it and its side
// files is made in the program's cache and opened instead. The copy goes with the object.
class ReadOnlyDatabaseSource
{
public:
    explicit ReadOnlyDatabaseSource(const QString& path);
    ~ReadOnlyDatabaseSource();
    ReadOnlyDatabaseSource(const ReadOnlyDatabaseSource&) = delete;
    ReadOnlyDatabaseSource& operator=(const ReadOnlyDatabaseSource&) = delete;

    // Opens db on the file, or on the private copy; either way no statement can write. Throws.
    void open(Sqlite3DB& db);
    // The private copy of the database, its side files beside it, made on the first call;
    // a caller may change it (a checkpoint, say). Throws when it cannot be made.
    QString privateCopy();
    // Whether SQLite can read the file in place without writing anything.
    static bool readableInPlace(const QString& path);

private:
    QString m_path;
    std::unique_ptr<QTemporaryDir> m_copyFolder;
    QString m_copy;
};
