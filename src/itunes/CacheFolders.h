#pragma once

#include <QDir>

// The data folder's "cache" folder; not created here.
QDir dataCacheDir();
// "itunes_cache" in the data folder, which holds one cache folder per backup, named by
// its cache key; not created here.
QDir itunesCacheDir();
