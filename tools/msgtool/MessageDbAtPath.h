#pragma once

#include "msgdb/AbsIOSMessageDb.h"

#include <QDir>
#include <QSharedPointer>
#include <QString>

// The message database at path, which is a database folder or an sms.db file, opened
// for reading only: neither it nor anything beside it changes. Throws when there is none.
QSharedPointer<AbsIOSMessageDb> messageDbAtPath(const QString& path);

// Where msgtool keeps its own files for the input at path (the recycle store, the contact
// cache): a folder of the program's cache named by the SHA-1 of the input's absolute
// path, made when missing. Never beside the input.
QDir workFolderFor(const QString& path);
