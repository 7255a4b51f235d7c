#include "itunes/WrittenPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

bool WrittenPaths::makePath(const QString& path)
{
    QStringList missing;
    for (QString folder = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
         !QFileInfo::exists(folder) && !QFileInfo(folder).isSymLink();
         folder = QFileInfo(folder).path()) {
        missing.prepend(folder);
        if (QFileInfo(folder).isRoot())
            break;
    }
    for (const QString& folder : missing) {
        if (!QDir().mkdir(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
            return false;
        m_folders.append(folder);
    }
    return QFileInfo(path).isDir();
}

void WrittenPaths::addFile(const QString& path)
{
    if (!m_files.contains(path))
        m_files.append(path);
}

void WrittenPaths::removeAll()
{
    for (const QString& file : std::as_const(m_files))
        QFile::remove(file);
    for (auto folder = m_folders.crbegin(); folder != m_folders.crend(); ++folder)
        QDir().rmdir(*folder);
    m_files.clear();
    m_folders.clear();
}
