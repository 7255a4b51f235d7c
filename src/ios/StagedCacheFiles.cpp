#include "ios/StagedCacheFiles.h"

#include "frame/FileSwap.h"
#include "frame/FullWrite.h"
#include "ios/CacheWriteError.h"
#include "ios/IosLog.h"

#include <QFile>
#include <QTemporaryFile>
#include <QtDebug>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString sqliteSideSuffixes[] = {QStringLiteral("-wal"), QStringLiteral("-shm"), QStringLiteral("-journal")};

[[noreturn]] void throwCreateError(const QString& path, const QString& reason)
{
    qCWarning(lcIos).noquote() << "iPhone cache: cannot create" << path << reason;
    throw std::runtime_error(QStringLiteral("create %1 error. %2").arg(path, reason).toStdString());
}

// lstat: a symbolic link is reported as itself, never as what it points at.
bool entryStatus(const QString& path, struct stat* status)
{
    if (::lstat(QFile::encodeName(path).constData(), status) == 0)
        return true;
    if (errno != ENOENT)
        throwCreateError(path, QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

} // namespace

struct StagedCacheFiles::Staged
{
    QString target;
    QString stagedPath;
};

StagedCacheFiles::StagedCacheFiles(const QDir& folder) : m_folder(folder)
{
}

StagedCacheFiles::~StagedCacheFiles()
{
    m_current.reset();
    for (const Staged& staged : m_finished) {
        if (!QFile::remove(staged.stagedPath))
            qCWarning(lcIos).noquote() << "iPhone cache: cannot remove the staged" << staged.stagedPath;
    }
    // Only empty ones go: a folder may have held cached files before it was staged into.
    for (auto it = m_madeFolders.crbegin(); it != m_madeFolders.crend(); ++it)
        ::rmdir(QFile::encodeName(*it).constData());
}

QString StagedCacheFiles::targetPath(const QString& relativePath) const
{
    return m_folder.absoluteFilePath(relativePath);
}

void StagedCacheFiles::makeFolder(const QString& relativePath)
{
    QString path = m_folder.absolutePath();
    for (const QString& part : relativePath.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        path += QLatin1Char('/') + part;
        struct stat status;
        if (!entryStatus(path, &status)) {
            if (::mkdir(QFile::encodeName(path).constData(), 0755) == 0)
                m_madeFolders << path;
            else if (errno != EEXIST)
                throwCreateError(path, QString::fromLocal8Bit(std::strerror(errno)));
            if (!entryStatus(path, &status))
                throwCreateError(path, QStringLiteral("The folder vanished."));
        }
        if (!S_ISDIR(status.st_mode))
            throwCreateError(path, QStringLiteral("Something that is not a folder is in the way."));
    }
}

void StagedCacheFiles::checkReplaceable(const QString& path) const
{
    struct stat status;
    if (entryStatus(path, &status) && !S_ISREG(status.st_mode))
        throwCreateError(path, QStringLiteral("Something that is not a file is in the way."));
}

QFile& StagedCacheFiles::startFile(const QString& relativePath)
{
    const QString target = targetPath(relativePath);
    const qsizetype slash = relativePath.lastIndexOf(QLatin1Char('/'));
    if (slash > 0)
        makeFolder(relativePath.left(slash));
    checkReplaceable(target);
    m_current = std::make_unique<QTemporaryFile>(target + QStringLiteral(".part-XXXXXX"));
    if (!m_current->open())
        throwCreateError(target, m_current->errorString());
    m_currentTarget = target;
    return *m_current;
}

void StagedCacheFiles::finishFile(const QDateTime& accessed, const QDateTime& modified)
{
    QTemporaryFile& file = *m_current;
    if (!flushFully(file))
        throw CacheWriteError(
            QStringLiteral("write %1 error. %2").arg(m_currentTarget, file.errorString()).toStdString());
    // A full disk may show only here, once the data must reach it.
    if (::fsync(file.handle()) != 0)
        throw CacheWriteError(QStringLiteral("write %1 error. %2")
                                  .arg(m_currentTarget, QString::fromLocal8Bit(std::strerror(errno)))
                                  .toStdString());
    // The times are a courtesy to the reader; a file without them is still whole.
    if ((accessed.isValid() && !file.setFileTime(accessed, QFileDevice::FileAccessTime))
        || (modified.isValid() && !file.setFileTime(modified, QFileDevice::FileModificationTime)))
        qCWarning(lcIos).noquote() << "iPhone cache: cannot set the times of" << m_currentTarget << file.errorString();
    // From here the destructor removes it by name; a temporary file's close() would keep
    // its descriptor open until the object goes.
    file.setAutoRemove(false);
    const QString stagedPath = file.fileName();
    m_current.reset();
    const auto known = m_finishedIndex.constFind(m_currentTarget);
    if (known != m_finishedIndex.cend()) {
        Staged& earlier = m_finished[*known];
        if (!QFile::remove(earlier.stagedPath))
            qCWarning(lcIos).noquote() << "iPhone cache: cannot remove the staged" << earlier.stagedPath;
        earlier.stagedPath = stagedPath;
    } else {
        m_finishedIndex.insert(m_currentTarget, m_finished.size());
        m_finished.push_back({m_currentTarget, stagedPath});
    }
}

void StagedCacheFiles::commit()
{
    FileSwap swap;
    QStringList kept;
    auto keep = [&kept](const QString& stagedName, const QString& suffix) {
        kept << stagedName + suffix + QStringLiteral("-old");
        return kept.last();
    };
    for (const Staged& staged : m_finished) {
        // A later entry may have made a folder of this name meanwhile.
        checkReplaceable(staged.target);
        const QString& stagedName = staged.stagedPath;
        swap.add(staged.target, stagedName, keep(stagedName, QString()));
        for (const QString& suffix : sqliteSideSuffixes) {
            const QString side = staged.target + suffix;
            struct stat status;
            if (!m_finishedIndex.contains(side) && entryStatus(side, &status) && S_ISREG(status.st_mode))
                swap.add(side, QString(), keep(stagedName, suffix));
        }
    }
    swap.commit();
    for (const QString& old : std::as_const(kept)) {
        if (QFile::exists(old) && !QFile::remove(old))
            qCWarning(lcIos).noquote() << "iPhone cache: cannot remove the replaced" << old;
    }
    m_finished.clear();
    m_finishedIndex.clear();
    m_madeFolders.clear();
}
