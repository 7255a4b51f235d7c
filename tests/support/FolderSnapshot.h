#pragma once

// What a folder holds, to prove that a failed or cancelled operation changed nothing in it.

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>

inline QByteArray sha1Hex(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1).toHex();
}

// Every entry below the folder, with the SHA-1 of each file's content. A FIFO or device
// is never opened: reading one could wait forever.
inline QMap<QString, QByteArray> folderSnapshot(const QString& folder)
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QString name = QDir(folder).relativeFilePath(info.filePath());
        entries.insert(name, info.isSymLink() ? "link"
                             : info.isDir()   ? "folder"
                             : info.isFile()  ? sha1Hex(info.filePath())
                                              : "special");
    }
    return entries;
}
