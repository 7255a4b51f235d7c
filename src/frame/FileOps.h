#pragma once

#include <QString>

// A path where nothing exists yet: "report.txt" becomes "report(1).txt", "report(2).txt"...
QString uniqueFilePath(const QString& path);
// The text without the characters file systems refuse, control characters included,
// trimmed. Empty (to be treated as invalid) when nothing but dots would remain.
QString sanitizeFileName(const QString& text);
// Deletes the folder with its contents. Symbolic links are removed, never followed;
// hidden entries stay, and so does any folder still holding one.
void removeDirRecursively(const QString& path);
