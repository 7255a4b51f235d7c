#include "sqlite/Sqlite3ErrorText.h"

#include <sqlite3.h>

std::string sqliteErrorText(sqlite3* db)
{
    std::string text = sqlite3_errmsg(db);
    if ((sqlite3_extended_errcode(db) & 0xFF) == SQLITE_FULL) {
        const char* file = sqlite3_db_filename(db, "main");
        if (file && *file)
            text += std::string(": no space left for ") + file;
    }
    return text;
}
