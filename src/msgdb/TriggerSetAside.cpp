#include "msgdb/TriggerSetAside.h"

#include "sqlite/Sqlite3DB.h"
#include "sqlite/Sqlite3Row.h"

TriggerSetAside::TriggerSetAside(Sqlite3DB& db, const QString& name)
    : db(db)
{
    Sqlite3Cursor stored = db.queryThrow(
        Sqlite3Sql(QStringLiteral("SELECT sql FROM main.sqlite_master WHERE type = 'trigger' AND name = ?"))
            .addTextParam(name));
    if (!stored.moveNext())
        return;
    storedSql = stored.getText(0);
    db.executeThrow(QStringLiteral("DROP TRIGGER main.%1").arg(quoteSqlIdentifier(name)));
}

void TriggerSetAside::putBack()
{
    // sqlite_master holds the statement as SQLite normalised it, which creates the same text again.
    if (wasPresent())
        db.executeThrow(storedSql);
}
