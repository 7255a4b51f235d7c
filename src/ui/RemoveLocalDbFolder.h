#pragma once

#include <QString>

class Sqlite3DB;

// Closes the database's connection, then deletes its folder with everything in it. False
// when the folder is still there afterwards: the deletion leaves hidden entries, and
// anything it could not remove.
bool removeLocalDbFolder(Sqlite3DB& db, const QString& folder);
