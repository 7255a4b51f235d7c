#pragma once

#include <QString>

// Node names and record paths of "Manifest.mbdb" become names in a cache folder. False
// when they could lead outside it or name nothing: a record path that is absolute or has
// an empty, "." or ".." component or a control character; a node name that is empty,
// "." or "..", or holds a slash or a control character. (Characters that are merely
// unfit for file names are the file-name sanitiser's business.)
// An empty record path (a node without a record) is fine.
bool isSafeCacheEntry(const QString& nodeName, const QString& recordPath);
