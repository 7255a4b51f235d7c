#include "msgdb/AbsIOSMessageDb.h"

#include "sqlite/Sqlite3DB.h"

#include <QSet>

int AbsIOSMessageDb::detectIosVersion(const QString& path)
{
    QSet<QString> tables;
    {
        Sqlite3DB db;
        db.openThrow(path, Sqlite3DB::ReadWrite);
        Sqlite3Cursor cursor = db.queryThrow("select * from sqlite_master where type='table'");
        while (cursor.moveNext())
            tables.insert(cursor.getText("name"));
    }
    for (const char* name : {"chat", "handle", "chat_handle_join", "message", "chat_message_join"}) {
        if (!tables.contains(QLatin1String(name)))
            return 5;
    }
    return 6;
}
