#include "actions/LocalDbNames.h"

#include <QFile>

int indexOfLocalDbName(const QStringList& names, const QString& name)
{
    const int exact = int(names.indexOf(name));
    if (exact >= 0)
        return exact;
    const QString wanted = name.trimmed();
    for (const Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
        for (int i = 0; i < names.size(); ++i) {
            if (names[i].trimmed().compare(wanted, cs) == 0)
                return i;
        }
    }
    return -1;
}

bool fitsLocalDbFolderName(const QString& name)
{
    return QFile::encodeName(name).size() <= maxLocalDbNameBytes;
}
