#include "MessageRowCount.h"

#include "msgdb/CachedMessageDb.h"
#include "sqlite/Sqlite3DB.h"

#include <QDir>
#include <QFileInfo>

qint64 messageRowCount(const QString& databaseFolder)
{
    const QString file = QDir(databaseFolder).absoluteFilePath(cachedSmsDbPath);
    if (!QFileInfo(file).isFile())
        return 0;
    Sqlite3DB db;
    db.openThrow(file, Sqlite3DB::ReadOnly);
    Sqlite3Cursor cursor = db.queryThrow(QStringLiteral("select count(*) from message"));
    return cursor.moveNext() ? cursor.getInt64(0) : 0;
}
