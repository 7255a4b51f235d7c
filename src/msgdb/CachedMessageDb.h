#pragma once

#include <QDir>
#include <QSharedPointer>
#include <QString>

class AbsIOSMessageDb;

// Where a cache folder keeps the phone's message database, as the file relay lays it out:
// below "file-relay", at the phone's own path.
inline const QString cachedSmsDbBelowFileRelay = QStringLiteral("var/mobile/Library/SMS/sms.db");
inline const QString cachedSmsDbPath = QStringLiteral("file-relay/") + cachedSmsDbBelowFileRelay;

// The message database below a cache folder, read by the reader its schema calls for.
// Throws "invalid IOS db." for a file of neither schema.
QSharedPointer<AbsIOSMessageDb> openCachedMessageDb(const QDir& cacheFolder, const QString& countryCode);

// The message rows of that database; 0 when the folder holds none.
qint64 cachedMessageCount(const QDir& cacheFolder);
