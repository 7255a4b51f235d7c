#pragma once

#include <QString>

// Where an entry of a file_relay archive goes, relative to the extraction folder: its
// name without a leading "./" and without the characters ':', '*', '?', '"', '<', '>' and
// '|', cleaned of "." components and doubled slashes. Empty when the entry must not be
// written: an absolute name, a ".." component, or a name of the folder itself.
QString fileRelayEntryPath(const QString& entryName);
