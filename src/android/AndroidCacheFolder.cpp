#include "android/AndroidCacheFolder.h"

#include "android/AndroidLog.h"

#include "frame/FileOps.h"

#include <QCryptographicHash>

#include <stdexcept>

namespace {

// Far below any file system's limit on a name, with the prefix and the hash added.
constexpr qsizetype maxCleanedLength = 64;
constexpr qsizetype hashLength = 12;

const QLatin1String serialPrefix("serial-");
const QLatin1String uidPrefix("uid-");
const QLatin1String imeiPrefix("imei-");

QString cleaned(const QString& key)
{
    return sanitizeFileName(key).left(maxCleanedLength);
}

QString shortHash(const QString& key)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex().left(hashLength));
}

// The key as it is when it can name a folder, else cleaned and followed by its hash.
QString keyedName(const QString& key, const QString& prefix = QString())
{
    const QString name = cleaned(key);
    if (name == key)
        return prefix + name;
    return prefix + (name.isEmpty() ? shortHash(key) : name + QLatin1Char('-') + shortHash(key));
}

bool takesAReservedName(const QString& name)
{
    return name.startsWith(serialPrefix, Qt::CaseInsensitive) || name.startsWith(uidPrefix, Qt::CaseInsensitive);
}

} // namespace

QString androidCacheFolderName(const QString& imei, const QString& serial, const QString& uid)
{
    if (const QString name = cleaned(imei); !name.isEmpty()) {
        if (!takesAReservedName(name))
            return keyedName(imei);
        // Changed on purpose, so the hash keeps it apart from an IMEI that reads "imei-…".
        return imeiPrefix + name + QLatin1Char('-') + shortHash(imei);
    }
    if (!serial.isEmpty())
        return keyedName(serial, serialPrefix);
    if (!uid.isEmpty())
        return keyedName(uid, uidPrefix);
    qCWarning(lcAndroid, "android cache: the phone gave no IMEI, serial or uid");
    throw std::runtime_error("This phone gives no IMEI or other identifier that could name its cache folder.");
}
