#pragma once

#include "msgdb/AbsIOSMessageDb.h"

#include <QSharedPointer>
#include <QString>

// The message database at path, which is a database folder or an sms.db file, opened
// for reading only: its schema is never changed. Throws when there is none.
QSharedPointer<AbsIOSMessageDb> messageDbAtPath(const QString& path);
