#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// A file written beside its path and put in the path's place only when whole: until
// commit() succeeds, a file already at the path keeps every byte, and destroying this
// without commit() removes the temporary file. Errors are std::runtime_error texts for
// the user, naming the path (never the temporary name) and the system's cause.
class StagedFile
{
public:
    // Creates the temporary file in path's folder, empty and open for appending; a file
    // already at path lends it its permissions. Throws "can not create <path>. <cause>",
    // also when a folder or another non-regular file stands at path.
    explicit StagedFile(const QString& path);
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Every byte, at the end of the file and handed to the system, or throws "can not
    // write <path>. <cause>".
    void write(const QByteArray& data);
    // For a writer that opens a path itself; it must have closed the file before commit().
    QString stagedPath() const { return file.fileName(); }
    // Flushes the file to the disk and renames it over path; throws "can not write <path>.
    // <cause>", leaving the file at path as it was.
    void commit();

private:
    [[noreturn]] void fail(const QString& cause) const;

    QString path;
    QFile file;
    bool committed = false;
};
