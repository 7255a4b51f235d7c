#include "itunes/AttachmentBackupPath.h"

#include <QStringList>

namespace {

bool isSafeComponent(const QString& component)
{
    if (component.isEmpty() || component == QLatin1String(".") || component == QLatin1String(".."))
        return false;
    for (const QChar c : component) {
        if (c == QLatin1Char('\\') || c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

} // namespace

QString attachmentBackupPath(const QString& filename)
{
    const qsizetype start = filename.indexOf(QLatin1String("Library/"));
    if (start < 0)
        return QString();
    const QString path = filename.mid(start);
    for (const QString& component : path.split(QLatin1Char('/'))) {
        if (!isSafeComponent(component))
            return QString();
    }
    return path;
}
