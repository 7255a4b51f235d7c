#pragma once

class QFile;

// Opens the file (its fileName()) read-only, but only when it is a regular file. A FIFO,
// a device or a folder is refused without waiting: opening a FIFO alone would block until
// a writer came. Files handed in by a user or found in a backup folder are opened this way.
// Throws std::runtime_error "Cannot open <path>: <reason>". Opened by its handle, the file
// no longer knows its name afterwards: later messages must name the path themselves.
void openRegularFileForReading(QFile& file);
