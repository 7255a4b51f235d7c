#pragma once

#include <string>

// Appends one line to the phone folder's calls.log with a single write on an O_APPEND
// descriptor, so that lines from several threads and processes never interleave.
void appendCallLine(const std::string& deviceFolder, const std::string& line);
