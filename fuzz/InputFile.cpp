#include "InputFile.h"

#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

namespace {

int memoryFile()
{
    static const int fd = [] {
        const int created = memfd_create("fuzz-input", 0);
        if (created < 0) {
            perror("memfd_create");
            abort();
        }
        return created;
    }();
    return fd;
}

void dropMessage(QtMsgType, const QMessageLogContext&, const QString&)
{
}

} // namespace

QString inputFilePath(const uint8_t* data, size_t size)
{
    const int fd = memoryFile();
    if (ftruncate(fd, 0) != 0 || (size > 0 && pwrite(fd, data, size, 0) != ssize_t(size))) {
        perror("writing the fuzz input");
        abort();
    }
    return QStringLiteral("/proc/self/fd/%1").arg(fd);
}

void silenceQtMessages()
{
    qInstallMessageHandler(dropMessage);
}
