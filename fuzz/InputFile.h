#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

// The readers under test take a path, not bytes. Each fuzz input is written into one
// memory file of this process and reached through its /proc/self/fd path, so no input
// touches the disk and the readers see a regular file as they would in a backup folder.
QString inputFilePath(const uint8_t* data, size_t size);

// Qt's messages for every refused input would drown libFuzzer's own output and slow it.
void silenceQtMessages();
