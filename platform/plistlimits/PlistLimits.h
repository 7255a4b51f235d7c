#pragma once

#include <cstddef>

// libplist parses, copies and frees nested arrays and dictionaries by recursion, one stack
// frame per level, and builds a node for every path through the objects a binary list
// shares. The stand-ins that run inside the program's process check outside bytes first,
// with the bound of the program's own reader; no phone writes more than a handful of levels.
inline constexpr int maxPlistNesting = 256;

// True when the property list in bytes (binary when it starts with "bplist00", else XML)
// has more than maxPlistNesting levels, counting every value on the way down, refers to
// itself, shares objects so that its tree would hold more nodes than the file has bytes,
// is binary with a dictionary key that holds a NUL character (libplist aborts when it
// reads such a key), or is XML whose closing tags do not match its opening ones. Reads the
// raw bytes without recursion; a list too damaged to measure is left to libplist, which
// refuses it.
bool exceedsPlistLimits(const char* bytes, std::size_t size);
