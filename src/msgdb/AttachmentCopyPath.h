#pragma once

#include <QDir>
#include <QString>

// Where the file of an attachment is copied below a database's "file-relay" folder:
// its phone path with the home prefix "~/" as "var/mobile/" and the characters that
// Windows forbids removed. Empty when the name would land outside fileRelayDir (an
// absolute path, or ".." leading out), names the folder itself, or names the message
// database or one of its side files; the name comes from
// a phone or a backup and is not trusted.
QString attachmentCopyPath(const QDir& fileRelayDir, const QString& filename);
