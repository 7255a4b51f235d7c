#pragma once

#include <QByteArray>

// libplist parses nested arrays and dictionaries by recursion, one stack frame per level,
// and builds a node for every path through objects that a binary list shares. No phone
// writes more than a handful of levels; a crafted file of thousands overflows the stack.
inline constexpr int maxPlistNesting = 256;

// True when the property list in bytes (binary when it starts with "bplist00", else XML)
// nests deeper than maxPlistNesting, refers to itself, shares objects so that its tree
// would hold more nodes than the file has bytes, or is binary with a dictionary key that
// holds a NUL character (libplist aborts when it reads such a key). Reads the raw bytes, without recursion;
// a list too damaged to measure is left to the parser, which refuses it.
bool exceedsPlistLimits(const QByteArray& bytes);
