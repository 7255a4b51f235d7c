#include "msgdb/CachedMessageDb.h"

#include "msgdb/IOS5MessageDb.h"
#include "msgdb/IOS6MessageDb.h"
#include "msgdb/ReadOnlyDatabaseSource.h"
#include "sqlite/Sqlite3DB.h"

#include <QFileInfo>

#include <stdexcept>

QSharedPointer<AbsIOSMessageDb> openCachedMessageDb(const QDir& cacheFolder, const QString& countryCode)
{
    switch (AbsIOSMessageDb::detectIosVersion(cacheFolder.absoluteFilePath(cachedSmsDbPath))) {
    case 6:
        return QSharedPointer<IOS6MessageDb>::create(cacheFolder, countryCode, false);
    case 5:
        return QSharedPointer<IOS5MessageDb>::create(cacheFolder, countryCode);
    default:
        throw std::runtime_error("invalid IOS db.");
    }
}

qint64 cachedMessageCount(const QDir& cacheFolder)
{
    const QString file = cacheFolder.absoluteFilePath(cachedSmsDbPath);
    if (!QFileInfo(file).isFile())
        return 0;
    // Counted without a trace beside the file: a -wal or -shm left there would travel with
    // the cached database into the next merge.
    ReadOnlyDatabaseSource source(file);
    Sqlite3DB db;
    source.open(db);
    Sqlite3Cursor cursor = db.queryThrow(QStringLiteral("select count(*) from message"));
    return cursor.moveNext() ? cursor.getInt64(0) : 0;
}
