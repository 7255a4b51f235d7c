#include "itunes/CacheFolders.h"

#include "frame/DataFolder.h"

QDir dataCacheDir()
{
    return QDir(appDataDir().absoluteFilePath(QStringLiteral("cache")));
}

QDir itunesCacheDir()
{
    return QDir(appDataDir().absoluteFilePath(QStringLiteral("itunes_cache")));
}
