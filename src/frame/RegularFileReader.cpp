#include "frame/RegularFileReader.h"

#include "frame/FrameLog.h"

#include <QFile>
#include <QString>
#include <QtDebug>

#include <cerrno>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void refuse(const QString& path, const QString& reason)
{
    qCWarning(lcFrame).noquote() << "cannot open" << path << "for reading:" << reason;
    throw std::runtime_error(QStringLiteral("Cannot open %1: %2").arg(path, reason).toStdString());
}

} // namespace

void openRegularFileForReading(QFile& file)
{
    const QString path = file.fileName();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        refuse(path, qt_error_string(errno));
    struct stat info = {};
    QString reason;
    if (::fstat(fd, &info) != 0)
        reason = qt_error_string(errno);
    else if (S_ISDIR(info.st_mode))
        reason = QStringLiteral("it is a folder, not a file");
    else if (!S_ISREG(info.st_mode))
        reason = QStringLiteral("it is not a regular file");
    if (!reason.isEmpty()) {
        ::close(fd);
        refuse(path, reason);
    }
    // Reads of a regular file never block; the flag only kept the open from waiting.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        refuse(path, file.errorString());
    }
}
