#include "ServiceSockets.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
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

// A socket's inode number is not reused while the process runs: a descriptor still
// naming the same inode is the program's socket, never a later file of the same number.
bool stillHeld(const HandedSocket& socket)
{
    struct stat status;
    return ::fstat(socket.fd, &status) == 0 && S_ISSOCK(status.st_mode) && status.st_ino == socket.inode;
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

void rememberHandedSocket(std::vector<HandedSocket>& sockets, int fd)
{
    sockets.erase(std::remove_if(sockets.begin(), sockets.end(), [](const HandedSocket& s) { return !stillHeld(s); }),
                  sockets.end());
    struct stat status;
    if (::fstat(fd, &status) == 0)
        sockets.push_back({fd, status.st_ino});
}

void breakHandedSockets(std::vector<HandedSocket>& sockets)
{
    for (const HandedSocket& socket : sockets) {
        if (stillHeld(socket))
            ::shutdown(socket.fd, SHUT_RDWR);
    }
    sockets.clear();
}
