#include "frame/FileOps.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QString uniqueFilePath(const QString& path)
{
    QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return path;

    const QString name = info.fileName();
    const QString base = name.section(QLatin1Char('.'), 0, 0);
    const int lastDot = int(name.lastIndexOf(QLatin1Char('.')));
    const QString suffix = lastDot >= 0 ? name.mid(lastDot + 1) : QString();
    const QDir folder = info.dir();

    for (qint64 n = 1;; ++n) {
        QString candidate = base + QLatin1Char('(') + QString::number(n) + QLatin1Char(')');
        if (!suffix.isEmpty())
            candidate += QLatin1Char('.') + suffix;
        const QString candidatePath = folder.filePath(candidate);
        const QFileInfo candidateInfo(candidatePath);
        if (!candidateInfo.exists() && !candidateInfo.isSymLink())
            return candidatePath;
    }
}

QString sanitizeFileName(const QString& text)
{
    static const QString forbidden = QStringLiteral("\\/:*?\"<>|");
    QString cleaned;
    cleaned.reserve(text.size());
    for (const QChar c : text) {
        if (forbidden.contains(c) || c.category() == QChar::Other_Control)
            continue;
        cleaned.append(c);
    }
    cleaned = cleaned.trimmed();
    // "." and ".." name the folder itself or its parent, never a new file.
    if (!cleaned.isEmpty() && cleaned.count(QLatin1Char('.')) == cleaned.size())
        return QString();
    return cleaned;
}

void removeDirRecursively(const QString& path)
{
    const QFileInfo root(path);
    if (root.isSymLink()) {
        QFile::remove(path);
        return;
    }
    QDir dir(path);
    if (!dir.exists())
        return;
    const QFileInfoList entries =
        dir.entryInfoList(QDir::Dirs | QDir::Files | QDir::Drives | QDir::NoDotAndDotDot | QDir::System, QDir::Unsorted);
    for (const QFileInfo& entry : entries) {
        if (entry.isSymLink() || !entry.isDir())
            QFile::remove(entry.absoluteFilePath());
        else
            removeDirRecursively(entry.absoluteFilePath());
    }
    QDir().rmdir(path);
}
