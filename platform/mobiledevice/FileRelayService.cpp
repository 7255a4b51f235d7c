#include "FileRelayService.h"

#include <unistd.h>

void serveFileRelay(const std::string&, int socket)
{
    // The request and the archive stream are not served yet (the file_relay download
    // comes with its client): the phone hangs up, which the program reports as a
    // connection that ended early.
    ::close(socket);
}
