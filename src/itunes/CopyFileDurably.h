#pragma once

#include <QString>

// Copies every byte of from into the new file to and flushes it to the disk, so that a
// rename that follows never publishes a partial file. Never overwrites: to must not
// exist. On failure returns false with the reason, and removes what it created.
bool copyFileDurably(const QString& from, const QString& to, QString* error);
