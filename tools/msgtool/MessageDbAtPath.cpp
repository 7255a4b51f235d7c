#include "MessageDbAtPath.h"

#include "msgdb/IOS6MessageDb.h"

#include <QDir>
#include <QFileInfo>

#include <stdexcept>

namespace {

const QString smsDbBelowFolder = QStringLiteral("file-relay/var/mobile/Library/SMS/sms.db");

} // namespace

QSharedPointer<AbsIOSMessageDb> messageDbAtPath(const QString& path)
{
    const QFileInfo info(path);
    QString file;
    QDir folder;
    if (info.isDir()) {
        folder = QDir(info.absoluteFilePath());
        file = folder.absoluteFilePath(smsDbBelowFolder);
    } else {
        file = info.absoluteFilePath();
        // A file inside a database folder keeps that folder, with its contacts and recycle store.
        folder = file.endsWith(QLatin1Char('/') + smsDbBelowFolder)
                     ? QDir(file.chopped(smsDbBelowFolder.size() + 1))
                     : info.absoluteDir();
    }
    if (!QFileInfo(file).isFile())
        throw std::runtime_error(QStringLiteral("no message database at %1").arg(path).toStdString());

    if (AbsIOSMessageDb::detectIosVersion(file) != 6)
        throw std::runtime_error(QStringLiteral("%1 is an iOS 5 database, which msgtool does not read").arg(path).toStdString());
    auto db = QSharedPointer<IOS6MessageDb>::create(folder, QString(), false);
    db->setDbPath(file);
    return db;
}
