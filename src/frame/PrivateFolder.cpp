#include "frame/PrivateFolder.h"

#include "frame/FrameLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace {

constexpr QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
constexpr QFile::Permissions othersAccess =
    QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;

} // namespace

void keepNewFilesPrivate()
{
    ::umask(S_IRWXG | S_IRWXO);
}

bool closeFolderToOthers(const QString& path)
{
    const QFileInfo folder(path);
    if (!folder.isDir() || !(folder.permissions() & othersAccess))
        return true;
    if (!QFile::setPermissions(path, ownerOnly)) {
        qCWarning(lcFrame) << "cannot close" << path << "to other users: they may still read it";
        return false;
    }
    qCWarning(lcFrame) << "closed" << path << "to other users, who could read it";
    return true;
}

bool makePrivateFolder(const QString& path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (!QFileInfo(absolute).isDir()) {
        QDir().mkpath(QFileInfo(absolute).path());
        // A folder another thread made meanwhile is fine: it is checked below like any.
        QDir().mkdir(absolute, ownerOnly);
    }
    return QFileInfo(absolute).isDir() && closeFolderToOthers(absolute);
}
