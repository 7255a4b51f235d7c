#include "MessageDbAtPath.h"

#include "msgdb/CachedMessageDb.h"
#include "msgdb/IOS5MessageDb.h"
#include "msgdb/IOS6MessageDb.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QStandardPaths>

#include <stdexcept>

QDir workFolderFor(const QString& path)
{
    const QByteArray name =
        QCryptographicHash::hash(QFileInfo(path).absoluteFilePath().toUtf8(), QCryptographicHash::Sha1).toHex();
    const QDir cache(QStandardPaths::writableLocation(QStandardPaths::CacheLocation));
    const QString folder = cache.absoluteFilePath(QString::fromLatin1(name));
    // The store holds the user's messages: only the user may enter.
    if (!QFileInfo(folder).isDir() && (!QDir().mkpath(cache.absolutePath())
                                       || !QDir().mkdir(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)))
        throw std::runtime_error(QStringLiteral("cannot make the folder %1 for the files of %2").arg(folder, path).toStdString());
    return QDir(folder);
}

QSharedPointer<AbsIOSMessageDb> messageDbAtPath(const QString& path)
{
    const QFileInfo info(path);
    const QString file = info.isDir() ? QDir(info.absoluteFilePath()).absoluteFilePath(cachedSmsDbPath)
                                      : info.absoluteFilePath();
    if (!QFileInfo(file).isFile())
        throw std::runtime_error(QStringLiteral("no message database at %1").arg(path).toStdString());

    const int version = AbsIOSMessageDb::detectIosVersion(file);
    const QDir work = workFolderFor(path);
    if (version == 5) {
        auto db = QSharedPointer<IOS5MessageDb>::create(work, QString());
        db->setDbPath(file);
        return db;
    }
    auto db = QSharedPointer<IOS6MessageDb>::create(work, QString(), false);
    db->setReadOnlySource(file);
    return db;
}
