#pragma once

#include <QString>

#include <functional>

class QDir;
class Sqlite3DB;

// Closes the database's connection, sets its folder aside within its parent (one rename,
// which happens or not) and deletes what was set aside with everything in it, hidden
// entries included. False when the folder could not be set aside: then nothing was
// touched. A folder set aside that could not be deleted goes at the next start, through
// removeFoldersSetAside.
bool removeLocalDbFolder(Sqlite3DB& db, const QString& folder);

// Deletes the folders that deletions set aside below localDatabases and left behind, and
// those that saves into new databases began but never put in place.
void removeFoldersSetAside(const QDir& localDatabases);

// The start of the name of a folder a save into a new database writes before it takes the
// database's name: hidden, and with a ':' that no database name may hold.
QString stagedLocalDbPrefix();

// The two file-system steps of a deletion. Tests replace them to make one fail, since
// file modes stop nothing for root; an empty member stands for the real step.
struct FolderRemovalSteps
{
    std::function<bool(const QString& from, const QString& to)> rename;
    std::function<bool(const QString& path)> removeTree; // true when nothing is left
};
void setFolderRemovalSteps(const FolderRemovalSteps& steps);
