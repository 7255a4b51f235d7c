#include "frame/DataFolder.h"

#include "frame/FrameLog.h"
#include "frame/PrivateFolder.h"

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

struct DataFolderChoice
{
    QString path;
    bool redirected = false;
    QString unusedRedirect; // why a redirect file present was not followed
};

// Workers call this from their own threads: the one-time initialisation of a local
// static is the only write, and the language makes it safe when first calls race.
const DataFolderChoice& dataFolderChoice()
{
    static const DataFolderChoice choice = [] {
        DataFolderChoice c;
        QString base = redirectedDataBaseDir(&c.unusedRedirect);
        c.redirected = !base.isEmpty();
        if (!c.redirected)
            base = defaultDataBaseDir();
        c.path = QDir(base).absoluteFilePath(QLatin1String(productId));
        return c;
    }();
    return choice;
}

} // namespace

QString defaultDataBaseDir()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir(base).absoluteFilePath(QLatin1String(makerFolderName));
}

QString redirectedDataBaseDir(QString* whyNot)
{
    QString reason;
    QString path;
    QFile file(redirectFilePath());
    if (file.open(QIODevice::ReadOnly)) {
        QByteArray bytes = file.readAll();
        const int nul = int(bytes.indexOf('\0'));
        if (nul >= 0)
            bytes.truncate(nul);
        // What echo and most editors write after the path.
        while (bytes.endsWith('\n') || bytes.endsWith('\r'))
            bytes.chop(1);
        path = QString::fromUtf8(bytes);
        // Only an existing folder can hold the data folder; a file or a relative path would
        // send every database somewhere unexpected.
        if (path.isEmpty())
            reason = QStringLiteral("it names no folder");
        else if (!QDir::isAbsolutePath(path))
            reason = QStringLiteral("\"%1\" is not an absolute path").arg(path);
        else if (!QFileInfo(path).isDir())
            reason = QStringLiteral("\"%1\" is not an existing folder").arg(path);
    } else if (QFileInfo::exists(file.fileName())) {
        reason = QStringLiteral("it cannot be read: %1").arg(file.errorString());
    } else {
        return QString();
    }
    if (whyNot)
        *whyNot = reason;
    return reason.isEmpty() ? path : QString();
}

QString appDataPath()
{
    return dataFolderChoice().path;
}

QDir appDataDir()
{
    const DataFolderChoice& choice = dataFolderChoice();
    // Told at the first call, not when the path is computed: the log's own folder lies in
    // the data folder, so the log can only be set up after the path is known.
    [[maybe_unused]] static const bool told = [&choice] {
        if (!choice.unusedRedirect.isEmpty())
            qCWarning(lcFrame).noquote() << "the data folder redirect" << redirectFilePath()
                                         << "is not followed:" << choice.unusedRedirect << "- the data folder is"
                                         << choice.path;
        return true;
    }();
    if (!choice.redirected)
        createMakerFolder();
    makePrivateFolder(choice.path);
    return QDir(choice.path);
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
