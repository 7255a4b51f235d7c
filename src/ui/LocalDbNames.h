#pragma once

#include <QString>
#include <QStringList>

// Whether the name can be a local database's folder below "local_databases": not empty,
// none of the characters the name chooser refuses, no control character, and not only
// dots and blanks ("." and ".." would name the databases folder itself or its parent).
bool isUsableLocalDbName(const QString& name);

// The position in names of the database the user meant by name: the same name if listed
// (folders differ by letter case on Linux), else the first that differs only by letter
// case; -1 when none.
int indexOfLocalDbName(const QStringList& names, const QString& name);
