#include "msgdb/AbsIOSMessageDb.h"

#include "msgdb/MsgDbLog.h"
#include "msgdb/ReadOnlyDatabaseSource.h"
#include "sqlite/Sqlite3DB.h"

#include <QSet>
#include <QtDebug>

#include <stdexcept>

namespace {

bool hasAll(const QSet<QString>& tables, std::initializer_list<const char*> names)
{
    for (const char* name : names) {
        if (!tables.contains(QLatin1String(name)))
            return false;
    }
    return true;
}

} // namespace

int AbsIOSMessageDb::detectIosVersion(const QString& path)
{
    const std::runtime_error refusal(QStringLiteral("not a message database: %1").arg(path).toStdString());
    QSet<QString> tables;
    try {
        ReadOnlyDatabaseSource source(path);
        Sqlite3DB db;
        source.open(db);
        Sqlite3Cursor cursor = db.queryThrow("select name from sqlite_master where type='table'");
        while (cursor.moveNext())
            tables.insert(cursor.getText("name"));
    } catch (const std::exception& e) {
        qCWarning(lcMsgDb, "detectIosVersion: %s: %s", qUtf8Printable(path), e.what());
        throw refusal;
    }
    if (hasAll(tables, {"chat", "handle", "chat_handle_join", "message", "chat_message_join"}))
        return 6;
    if (hasAll(tables, {"message", "msg_group", "group_member"}))
        return 5;
    throw refusal;
}
