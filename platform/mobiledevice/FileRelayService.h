#pragma once

#include <string>

// The phone side of the built-in "com.apple.mobile.file_relay" service: reads one framed
// request {"Sources": [...]}, answers {"Status": "Acknowledged"}, then streams a
// gzip-compressed cpio (newc) archive of the phone's fs/ subtrees of those sources and
// closes the connection; a phone unplugged meanwhile ends the stream where it is, without
// the archive's trailer. The "FileRelay" knobs change it:
//   Status        a text: the Status sent; false: no Status; data: sent as the whole
//                 reply, which then does not parse
//   Sources       source name -> array of device paths (default: "UserDatabases" ->
//                 var/mobile/Library/SMS and var/mobile/Library/AddressBook)
//   ArchiveFile   a file of the phone folder sent verbatim instead of the archive
//   TruncateAfter the connection is closed after this many bytes of the archive
//   ChunkDelayMs  a pause before each 64 KiB of the archive after the first
// Runs on its own detached thread and owns socket: it closes it when done.
void serveFileRelay(const std::string& deviceFolder, int socket);
