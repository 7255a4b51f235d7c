#include "frame/DataFolder.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

QString redirectFilePath()
{
    return defaultDataBaseDir() + QLatin1Char('/') + QLatin1String(productId) + QLatin1String(".redirect");
}

// The maker folder holds private messages: only its owner may enter it.
void createMakerFolder()
{
    const QString maker = defaultDataBaseDir();
    if (QFileInfo::exists(maker))
        return;
    QDir().mkpath(maker);
    QFile::setPermissions(maker, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

QString defaultDataBaseDir()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir(base).absoluteFilePath(QLatin1String(makerFolderName));
}

QString redirectedDataBaseDir()
{
    QFile file(redirectFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QByteArray bytes = file.readAll();
    const int nul = int(bytes.indexOf('\0'));
    if (nul >= 0)
        bytes.truncate(nul);
    const QString path = QString::fromUtf8(bytes);
    // Only an existing folder can hold the data folder; a file or a relative path would
    // send every database somewhere unexpected.
    if (path.isEmpty() || !QDir::isAbsolutePath(path) || !QFileInfo(path).isDir())
        return QString();
    return path;
}

QDir appDataDir()
{
    // Workers call this from their own threads: the one-time initialisation of a local
    // static is the only write, and the language makes it safe when first calls race.
    static const QString path = [] {
        QString base = redirectedDataBaseDir();
        if (base.isEmpty()) {
            createMakerFolder();
            base = defaultDataBaseDir();
        }
        return QDir(base).absoluteFilePath(QLatin1String(productId));
    }();
    QDir().mkpath(path);
    return QDir(path);
}

QDir localDatabasesDir()
{
    const QString path = appDataDir().absoluteFilePath(QLatin1String(localDatabasesFolderName));
    QDir().mkpath(path);
    return QDir(path);
}

bool setDataDirRedirect(const QString& folder)
{
    if (!QFileInfo(defaultDataBaseDir()).isDir())
        return false;
    QFile file(redirectFilePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray bytes = folder.toUtf8();
    return file.write(bytes) == bytes.size() && file.flush();
}
