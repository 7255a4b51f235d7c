#pragma once

#include <QString>
#include <QStringList>

#include <climits>

// The position in names of the database the user meant by name: the same name if listed
// (folders differ by letter case on Linux), else the first that is the same once blanks
// around both are dropped, else the first that differs only by letter case besides; -1
// when none.
int indexOfLocalDbName(const QStringList& names, const QString& name);

// The most bytes a database's name may take, encoded for the file system: one folder name.
constexpr int maxLocalDbNameBytes = NAME_MAX;
bool fitsLocalDbFolderName(const QString& name);
