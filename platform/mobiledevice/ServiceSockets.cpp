#include "ServiceSockets.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

int movedAboveStandardStreams(int fd)
{
    if (fd < 0 || fd >= 3)
        return fd;
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    ::close(fd);
    return moved;
}

} // namespace

int connectRelay(const std::string& socketPath)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.empty() || socketPath.size() >= sizeof address.sun_path)
        return -1;
    std::memcpy(address.sun_path, socketPath.data(), socketPath.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    int r;
    do {
        r = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (r < 0 && errno == EINTR);
    if (r < 0) {
        ::close(fd);
        return -1;
    }
    return movedAboveStandardStreams(fd);
}

int createServicePair(int* phoneEnd)
{
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) < 0)
        return -1;
    const int programEnd = movedAboveStandardStreams(ends[0]);
    if (programEnd < 0) {
        ::close(ends[1]);
        return -1;
    }
    *phoneEnd = ends[1];
    return programEnd;
}
