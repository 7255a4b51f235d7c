#pragma once

#include <QDateTime>
#include <QDir>
#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QFile;
class QTemporaryFile;

// Files written into a cache folder under temporary names beside their targets, which
// replace the targets all together on commit(). Whatever is not committed is removed
// with the object, the folders it made included, so a failed or cancelled run leaves
// every earlier file as it was. Only the file being written is open, so any number of
// files can be staged.
// Paths are relative to the folder and must not lead out of it (see fileRelayEntryPath);
// a symbolic link below the folder is never followed. Errors are std::runtime_error.
class StagedCacheFiles
{
public:
    explicit StagedCacheFiles(const QDir& folder);
    ~StagedCacheFiles();
    Q_DISABLE_COPY_MOVE(StagedCacheFiles)

    // Creates the folder and its missing parents; refuses to pass anything but a folder.
    void makeFolder(const QString& relativePath);
    // A new temporary file beside the target, open for writing. A file staged earlier for
    // the same target is dropped when this one is finished.
    QFile& startFile(const QString& relativePath);
    // Flushes the started file to the disk, gives it the times (invalid: left as they
    // are) and closes it. A failed write throws CacheWriteError.
    void finishFile(const QDateTime& accessed, const QDateTime& modified);
    // Puts every finished file in its target's place, and moves the SQLite side files
    // ("-wal", "-shm", "-journal") of a replaced file away unless they were staged too,
    // since a database must not meet the log of another version. Either everything is
    // replaced or, with an error, nothing.
    void commit();

private:
    struct Staged;

    QString targetPath(const QString& relativePath) const;
    void checkReplaceable(const QString& path) const;

    QDir m_folder;
    QStringList m_madeFolders; // parents before children
    std::vector<Staged> m_finished;
    QHash<QString, size_t> m_finishedIndex; // target path -> position in m_finished
    std::unique_ptr<QTemporaryFile> m_current;
    QString m_currentTarget;
};
