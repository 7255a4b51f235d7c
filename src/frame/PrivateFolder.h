#pragma once

#include <QString>

// What the program writes holds private messages: only the user who runs it may read it.

// From now on every file and folder this process (and any program it starts) creates is
// its owner's alone, whatever the caller asked for. Call once at start, before threads.
void keepNewFilesPrivate();
// Closes an existing folder to other users when they may read, write or enter it, and says
// so in the log; a missing folder is left missing. False when it stays open to others.
bool closeFolderToOthers(const QString& path);
// Creates the folder (its missing parents as usual) as its owner's alone, or closes an
// existing one to others. False when it is not there afterwards or stays open to others.
bool makePrivateFolder(const QString& path);
