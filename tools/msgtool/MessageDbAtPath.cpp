#include "MessageDbAtPath.h"

#include "msgdb/IOS5MessageDb.h"
#include "msgdb/IOS6MessageDb.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <memory>
#include <stdexcept>

namespace {

const QString smsDbBelowFolder = QStringLiteral("file-relay/var/mobile/Library/SMS/sms.db");

// IOS5MessageDb reads only the sms.db below its folder: a file that lies elsewhere is
// reached through a link in a temporary folder, removed together with the object.
QSharedPointer<AbsIOSMessageDb> ios5DbLinkedTo(const QString& file)
{
    auto folder = std::make_unique<QTemporaryDir>();
    const QString link = folder->filePath(smsDbBelowFolder);
    if (!folder->isValid() || !QDir().mkpath(QFileInfo(link).path()) || !QFile::link(file, link))
        throw std::runtime_error(QStringLiteral("cannot open %1 in a temporary folder").arg(file).toStdString());
    auto* db = new IOS5MessageDb(QDir(folder->path()), QString());
    return QSharedPointer<AbsIOSMessageDb>(db, [folder = folder.release()](AbsIOSMessageDb* object) {
        delete object;
        delete folder;
    });
}

} // namespace

QSharedPointer<AbsIOSMessageDb> messageDbAtPath(const QString& path)
{
    const QFileInfo info(path);
    QString file;
    QDir folder;
    bool inDatabaseFolder = true;
    if (info.isDir()) {
        folder = QDir(info.absoluteFilePath());
        file = folder.absoluteFilePath(smsDbBelowFolder);
    } else {
        file = info.absoluteFilePath();
        // A file inside a database folder keeps that folder, with its contacts and recycle store.
        inDatabaseFolder = file.endsWith(QLatin1Char('/') + smsDbBelowFolder);
        folder = inDatabaseFolder ? QDir(file.chopped(smsDbBelowFolder.size() + 1)) : info.absoluteDir();
    }
    if (!QFileInfo(file).isFile())
        throw std::runtime_error(QStringLiteral("no message database at %1").arg(path).toStdString());

    if (AbsIOSMessageDb::detectIosVersion(file) == 5) {
        if (inDatabaseFolder)
            return QSharedPointer<IOS5MessageDb>::create(folder, QString());
        return ios5DbLinkedTo(file);
    }
    auto db = QSharedPointer<IOS6MessageDb>::create(folder, QString(), false);
    db->setDbPath(file);
    return db;
}
