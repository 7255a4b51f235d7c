#include "frame/ShellOpen.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

void openInExplorer(const QString& path)
{
    const QFileInfo info(path);
    const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

void shellOpen(const QString& target)
{
    if (QFileInfo::exists(target)) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(target).absoluteFilePath()));
        return;
    }
    QDesktopServices::openUrl(QUrl(target));
}
