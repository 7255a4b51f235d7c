#pragma once

#include <QString>
#include <QStringList>

// The position in names of the database the user meant by name: the same name if listed
// (folders differ by letter case on Linux), else the first that differs only by letter
// case; -1 when none.
int indexOfLocalDbName(const QStringList& names, const QString& name);
