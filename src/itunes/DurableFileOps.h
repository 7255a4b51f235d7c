#pragma once

#include <QByteArray>
#include <QString>

// The file operations of a journaled publish, straight on the system calls: a rename is
// rename(2) or nothing, never a copy and delete, and every failure throws
// std::runtime_error with the system's reason (a technical text, for the log).

// lstat(2): a dangling link exists too.
bool pathExists(const QString& path);
// fsync(2) of the folder itself, which makes renames, links and removals in it durable.
void syncFolder(const QString& folder);
// keptPath becomes a second name of path (a hard link), or a flushed copy where the file
// system has no hard links. keptPath must not exist.
void keepByLinkOrCopy(const QString& path, const QString& keptPath);
// Atomically puts from in the place of to, which may exist.
void renameReplacing(const QString& from, const QString& to);
// Moves from to to, failing when to exists.
void renameNoReplace(const QString& from, const QString& to);
// A missing file is no failure.
void removeIfPresent(const QString& path);
// Creates path (which must not exist) with every byte of data, flushed to the disk.
void writeNewFileDurably(const QString& path, const QByteArray& data);
// Replaces path with data through a flushed temporary file beside it and a rename; the
// folder is flushed too.
void replaceFileDurably(const QString& path, const QByteArray& data);
// The temporary file replaceFileDurably writes for path. One that a killed process left
// never took path's place and holds nothing that counts.
QString durableTemporaryPath(const QString& path);
// Hex SHA-1 of the file's content; empty when it cannot be read.
QByteArray fileSha1Hex(const QString& path);
