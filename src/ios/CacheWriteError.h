#pragma once

#include <stdexcept>

// Writing into a phone's cache folder failed, or would pass the space allowed (a full
// disk, an archive that unpacks without end). The run that meets it removes everything it
// wrote, the download included, since nothing of it can be used.
struct CacheWriteError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};
