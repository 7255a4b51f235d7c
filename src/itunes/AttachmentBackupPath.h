#pragma once

#include <QString>

// The path below the backup's "MediaDomain" of an attachment file that the phone's
// database names filename: from the first "Library/" on, so that a home-folder prefix or
// an absolute device path is dropped. Empty when filename holds no "Library/", or when
// the path has an empty, "." or ".." component, a backslash or a control character:
// the name comes from another device or a file, and the phone must not get such a path.
QString attachmentBackupPath(const QString& filename);
