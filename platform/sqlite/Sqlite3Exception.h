#pragma once

#include <stdexcept>
#include <string>

// Every failure of the wrapper. what() is UTF-8 and holds SQLite's own message.
class Sqlite3Exception : public std::runtime_error
{
public:
    explicit Sqlite3Exception(const std::string& message) : std::runtime_error(message) {}
};
