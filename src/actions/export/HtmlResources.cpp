#include "actions/export/HtmlResources.h"

#include "frame/DataFolder.h"
#include "itunes/WrittenPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

// Beside the program, as it is shipped; else in an installed data folder
// (<data dir>/Veltrominex/<name>, e.g. /usr/share). Empty when neither has it.
QString applicationResourceFolder(const QString& name)
{
    const QString besideProgram = QDir(QCoreApplication::applicationDirPath()).filePath(name);
    if (QFileInfo(besideProgram).isDir())
        return besideProgram;
    return QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                  QLatin1String(makerFolderName) + QLatin1Char('/') + name,
                                  QStandardPaths::LocateDirectory);
}

void copyPlainFiles(const QString& from, const QDir& into, WrittenPaths& created)
{
    const QFileInfoList files = QDir(from).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo& file : files) {
        const QString target = into.filePath(file.fileName());
        // QFile::copy never replaces a file, so what it made is ours alone.
        if (QFile::copy(file.absoluteFilePath(), target))
            created.addFile(target);
    }
}

} // namespace

void copyHtmlResources(const QDir& target, WrittenPaths& created)
{
    const QString files = target.filePath(QStringLiteral("files"));
    created.makePath(files);
    const QString bubble = applicationResourceFolder(QStringLiteral("bubble"));
    if (!bubble.isEmpty())
        copyPlainFiles(bubble, QDir(files), created);

    const QString emoji = applicationResourceFolder(QStringLiteral("emoji"));
    if (!emoji.isEmpty()) {
        const QString emojiTarget = target.filePath(QStringLiteral("emoji"));
        created.makePath(emojiTarget);
        copyPlainFiles(emoji, QDir(emojiTarget), created);
    }
}
