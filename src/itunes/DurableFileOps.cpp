#include "itunes/DurableFileOps.h"

#include "itunes/AddFileToManifest.h"
#include "itunes/CopyFileDurably.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

[[noreturn]] void fail(const QString& what, int error)
{
    throw std::runtime_error(QStringLiteral("%1: %2").arg(what, qt_error_string(error)).toStdString());
}

// Hard links are missing on some file systems (FAT, some network shares).
bool linksUnsupported(int error)
{
    return error == EPERM || error == EOPNOTSUPP || error == EMLINK || error == ENOSYS || error == EXDEV;
}

void writeAll(int fd, const QByteArray& data, const QString& path)
{
    qsizetype written = 0;
    while (written < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + written, size_t(data.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail(QStringLiteral("cannot write %1").arg(path), n < 0 ? errno : EIO);
        written += n;
    }
}

void writeAndSync(int fd, const QByteArray& data, const QString& path)
{
    try {
        writeAll(fd, data, path);
        if (::fsync(fd) != 0)
            fail(QStringLiteral("cannot write %1").arg(path), errno);
    } catch (...) {
        ::close(fd);
        throw;
    }
    if (::close(fd) != 0)
        fail(QStringLiteral("cannot write %1").arg(path), errno);
}

} // namespace

bool pathExists(const QString& path)
{
    struct stat info;
    return ::lstat(native(path).constData(), &info) == 0;
}

void syncFolder(const QString& folder)
{
    const int fd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        fail(QStringLiteral("cannot open %1").arg(folder), errno);
    const int result = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    if (result != 0)
        fail(QStringLiteral("cannot flush %1").arg(folder), error);
}

void keepByLinkOrCopy(const QString& path, const QString& keptPath)
{
    if (::link(native(path).constData(), native(keptPath).constData()) == 0)
        return;
    const int error = errno;
    if (!linksUnsupported(error))
        fail(QStringLiteral("cannot link %1 to %2").arg(path, keptPath), error);
    QString reason;
    if (!copyFileDurably(path, keptPath, &reason))
        throw std::runtime_error(reason.toStdString());
}

void renameReplacing(const QString& from, const QString& to)
{
    if (::rename(native(from).constData(), native(to).constData()) != 0)
        fail(QStringLiteral("cannot rename %1 to %2").arg(from, to), errno);
}

void renameNoReplace(const QString& from, const QString& to)
{
    if (::renameat2(AT_FDCWD, native(from).constData(), AT_FDCWD, native(to).constData(), RENAME_NOREPLACE) == 0)
        return;
    const int error = errno;
    if (error != EINVAL && error != ENOSYS)
        fail(QStringLiteral("cannot rename %1 to %2").arg(from, to), error);
    // The file system cannot refuse by itself; the backup's lock keeps our own writers out.
    if (pathExists(to))
        fail(QStringLiteral("cannot rename %1 to %2").arg(from, to), EEXIST);
    renameReplacing(from, to);
}

void removeIfPresent(const QString& path)
{
    if (::unlink(native(path).constData()) != 0 && errno != ENOENT)
        fail(QStringLiteral("cannot remove %1").arg(path), errno);
}

void writeNewFileDurably(const QString& path, const QByteArray& data)
{
    const int fd = ::open(native(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        fail(QStringLiteral("cannot create %1").arg(path), errno);
    try {
        writeAndSync(fd, data, path);
    } catch (...) {
        ::unlink(native(path).constData());
        throw;
    }
}

void replaceFileDurably(const QString& path, const QByteArray& data)
{
    const QString temporary = durableTemporaryPath(path);
    const int fd = ::open(native(temporary).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        fail(QStringLiteral("cannot create %1").arg(temporary), errno);
    writeAndSync(fd, data, temporary);
    renameReplacing(temporary, path);
    syncFolder(QFileInfo(path).absolutePath());
}

QString durableTemporaryPath(const QString& path)
{
    return path + QStringLiteral(".tmp");
}

QByteArray fileSha1Hex(const QString& path)
{
    return fileSha1(path).toHex();
}
