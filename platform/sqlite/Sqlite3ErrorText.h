#pragma once

#include <string>

struct sqlite3;

// SQLite's message for the connection's last error. A write refused for lack of space
// ("database or disk is full") also names the database file, since the user must free
// space where that file lies.
std::string sqliteErrorText(sqlite3* db);
