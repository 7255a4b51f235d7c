#include "itunes/BackupLock.h"

#include "itunes/ITunesLog.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>
#include <QtDebug>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr int retryIntervalMs = 50;

int openFolder(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        qCWarning(lcITunes, "cannot open the backup folder %s: %s", qUtf8Printable(path), std::strerror(errno));
        throw std::runtime_error(QStringLiteral("Cannot open the backup folder %1.").arg(path).toStdString());
    }
    return fd;
}

// True when the lock was taken, false when another holder has it.
bool tryFlock(int fd, const QString& path)
{
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno == EINTR)
            continue;
        if (errno == EWOULDBLOCK)
            return false;
        const int error = errno;
        ::close(fd);
        qCWarning(lcITunes, "cannot lock the backup folder %s: %s", qUtf8Printable(path), std::strerror(error));
        throw std::runtime_error(QStringLiteral("Cannot lock the backup folder %1.").arg(path).toStdString());
    }
}

} // namespace

BackupLock::BackupLock(const QDir& backupFolder, int waitMs)
    : path(backupFolder.absolutePath()), fd(openFolder(path))
{
    const QDeadlineTimer deadline(waitMs);
    while (!tryFlock(fd, path)) {
        if (deadline.hasExpired()) {
            ::close(fd);
            throw BackupInUseError(
                QStringLiteral("The backup %1 is in use by another operation. Try again when it has finished.")
                    .arg(path)
                    .toStdString());
        }
        QThread::msleep(retryIntervalMs);
    }
}

BackupLock::BackupLock(const QString& path, int fd)
    : path(path), fd(fd)
{
}

BackupLock::~BackupLock()
{
    // Closing the descriptor releases the lock.
    ::close(fd);
}

std::unique_ptr<BackupLock> BackupLock::tryLock(const QDir& backupFolder)
{
    const QString path = backupFolder.absolutePath();
    const int fd = openFolder(path);
    if (!tryFlock(fd, path)) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<BackupLock>(new BackupLock(path, fd));
}
