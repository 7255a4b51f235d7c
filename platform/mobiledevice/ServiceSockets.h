#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

// Descriptors handed to the program are 3 or above, because the program takes 0 for "no
// socket", and close-on-exec, so that the backup tool and adb never inherit them.
// Each returns the descriptor, or -1.
int connectRelay(const std::string& socketPath);
// The program's end of a new socket pair; *phoneEnd receives the other end.
int createServicePair(int* phoneEnd);

// A descriptor the program holds, and the socket it named when handed out: the program
// may close it, and the number may then name something else.
struct HandedSocket
{
    int fd;
    ino_t inode;
};

// Records fd, dropping the records of sockets the program has closed meanwhile.
void rememberHandedSocket(std::vector<HandedSocket>& sockets, int fd);
// Shuts down, without closing, every recorded socket the program still holds: its reads
// end and its writes fail, as with a cable pulled. Clears the records.
void breakHandedSockets(std::vector<HandedSocket>& sockets);
