#pragma once

#include <QString>
#include <QStringList>

// The files and folders that one run put on disk, so that a run that fails or is
// cancelled can take back exactly those and leave everything else where it lies.
class WrittenPaths
{
public:
    // Creates the folder and its missing parents, remembering each folder it created. What
    // is written there is private: each new folder is its owner's alone.
    // False when the folder does not exist afterwards.
    bool makePath(const QString& path);
    // Remembers a file about to be written, new or overwritten.
    void addFile(const QString& path);
    // The remembered files, in the order they were added.
    const QStringList& files() const { return m_files; }
    // Deletes the remembered files, then the remembered folders that are empty, newest
    // first, and forgets them all.
    void removeAll();

private:
    QStringList m_files;
    QStringList m_folders; // parents before children
};
