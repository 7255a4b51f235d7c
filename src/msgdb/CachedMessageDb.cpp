#include "msgdb/CachedMessageDb.h"

#include "msgdb/IOS5MessageDb.h"
#include "msgdb/IOS6MessageDb.h"

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
