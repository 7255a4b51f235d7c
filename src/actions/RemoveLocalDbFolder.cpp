#include "actions/RemoveLocalDbFolder.h"

#include "sqlite/Sqlite3DB.h"

#include <QDir>
#include <QFileInfo>
#include <QtDebug>

namespace {

// Hidden, so that no listing of the local databases shows a folder set aside, and with a
// ':', which the name of a database may not hold, so that no database is taken for one.
const QString setAsidePrefix = QStringLiteral(".deleting:");

FolderRemovalSteps& steps()
{
    static FolderRemovalSteps current;
    return current;
}

bool renameFolder(const QString& from, const QString& to)
{
    return steps().rename ? steps().rename(from, to) : QDir().rename(from, to);
}

// A link goes as a link: what it points at is not ours.
bool removeTree(const QString& path)
{
    if (steps().removeTree)
        return steps().removeTree(path);
    const QFileInfo entry(path);
    if (entry.isSymLink() || !entry.isDir())
        return QFile::remove(path);
    return QDir(path).removeRecursively();
}

QString freeSetAsideName(const QDir& parent)
{
    for (int n = 1;; ++n) {
        const QString path = parent.absoluteFilePath(setAsidePrefix + QString::number(n));
        const QFileInfo entry(path);
        if (!entry.exists() && !entry.isSymLink())
            return path;
    }
}

} // namespace

bool removeLocalDbFolder(Sqlite3DB& db, const QString& folder)
{
    db.close();
    const QFileInfo entry(folder);
    if (!entry.exists() && !entry.isSymLink())
        return true;
    const QString aside = freeSetAsideName(entry.absoluteDir());
    if (!renameFolder(folder, aside)) {
        qWarning("Local database folder %s could not be set aside as %s", qUtf8Printable(folder),
                 qUtf8Printable(aside));
        return false;
    }
    if (!removeTree(aside))
        qWarning("Local database folder %s, set aside as %s, is left for the next start", qUtf8Printable(folder),
                 qUtf8Printable(aside));
    return true;
}

void removeFoldersSetAside(const QDir& localDatabases)
{
    const QFileInfoList entries =
        localDatabases.entryInfoList({setAsidePrefix + QLatin1Char('*'), stagedLocalDbPrefix() + QLatin1Char('*')},
                                     QDir::Dirs | QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        if (!removeTree(entry.absoluteFilePath()))
            qWarning("Local database folder set aside as %s could not be deleted", qUtf8Printable(entry.filePath()));
    }
}

QString stagedLocalDbPrefix()
{
    return QStringLiteral(".saving:");
}

void setFolderRemovalSteps(const FolderRemovalSteps& replacement)
{
    steps() = replacement;
}
