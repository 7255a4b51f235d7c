#include "model/ImageThumbnail.h"

#include "model/MsgAttachment.h"
#include "model/MsgIdentity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

constexpr int thumbnailSide = 120;

// Thumbnails show private pictures and their names are predictable: they live in a
// folder only this user may enter, never in the shared temporary folder.
QString thumbnailDir()
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    const QString path = QDir(cache).absoluteFilePath(QStringLiteral("thumbs"));
    const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    if (!QFileInfo(path).isDir()) {
        QDir().mkpath(cache);
        QDir().mkdir(path, ownerOnly);
    }
    QFile::setPermissions(path, ownerOnly);
    return path;
}

} // namespace

QString makeImageThumbnail(const _MsgAttachment& attachment)
{
    const QString path =
        QDir(thumbnailDir()).absoluteFilePath(md5Hex(attachment.localPath) + QStringLiteral(".thumb"));
    if (QFileInfo::exists(path))
        return path;
    const QImage image(attachment.localPath);
    if (image.isNull())
        return path;
    const QImage thumbnail = image.height() > image.width()
                                 ? image.scaledToHeight(thumbnailSide, Qt::FastTransformation)
                                 : image.scaledToWidth(thumbnailSide, Qt::FastTransformation);
    // Written whole or not at all, so a half-written file is never taken for a cached one.
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && thumbnail.save(&file, "PNG"))
        file.commit();
    return path;
}
