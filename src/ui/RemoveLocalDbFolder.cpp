#include "ui/RemoveLocalDbFolder.h"

#include "frame/FileOps.h"
#include "sqlite/Sqlite3DB.h"

#include <QFileInfo>

bool removeLocalDbFolder(Sqlite3DB& db, const QString& folder)
{
    db.close();
    removeDirRecursively(folder);
    const QFileInfo left(folder);
    return !left.exists() && !left.isSymLink();
}
