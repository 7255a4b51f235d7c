#include "msgdb/IOS6MessageDb.h"

#include "msgdb/CachedMessageDb.h"
#include "msgdb/MsgDbLog.h"
#include "msgdb/ReadOnlyDatabaseSource.h"
#include "msgdb/TriggerFunctions.h"

#include "model/AppleTime.h"

#include <QFile>
#include <QFileInfo>
#include <QtDebug>

#include <stdexcept>

namespace {

struct ColumnUpgrade
{
    const char* column;
    const char* sql;
    // Reported when the statement fails, so that a log names the step.
    int line;
};

constexpr ColumnUpgrade chatUpgrade = {"group_id", "ALTER TABLE chat ADD COLUMN group_id TEXT;", 122};

constexpr ColumnUpgrade messageUpgrades[] = {
    {"is_audio_message", "ALTER TABLE message ADD COLUMN is_audio_message INTEGER DEFAULT 0;", 127},
    {"is_played", "ALTER TABLE message ADD COLUMN is_played INTEGER DEFAULT 0;", 130},
    {"date_played", "ALTER TABLE message ADD COLUMN date_played INTEGER;", 133},
    {"item_type", "ALTER TABLE message ADD COLUMN item_type INTEGER DEFAULT 0;", 136},
    {"other_handle", "ALTER TABLE message ADD COLUMN other_handle INTEGER DEFAULT -1;", 139},
    {"group_title", "ALTER TABLE message ADD COLUMN group_title TEXT;", 142},
    {"group_action_type", "ALTER TABLE message ADD COLUMN group_action_type INTEGER DEFAULT 0;", 145},
    {"share_status", "ALTER TABLE message ADD COLUMN share_status INTEGER;", 148},
    {"share_direction", "ALTER TABLE message ADD COLUMN share_direction INTEGER;", 151},
    {"is_expirable", "ALTER TABLE message ADD COLUMN is_expirable INTEGER DEFAULT 0;", 154},
    {"expire_state", "ALTER TABLE message ADD COLUMN expire_state INTEGER DEFAULT 0;", 157},
    {"message_action_type", "ALTER TABLE message ADD COLUMN message_action_type INTEGER DEFAULT 0;", 160},
    {"logic_hash", "ALTER TABLE message ADD COLUMN logic_hash TEXT;", 163},
};

constexpr ColumnUpgrade logicHashIndex = {"logic_hash", "CREATE INDEX message_idx_logic_hash ON message(logic_hash);",
                                          164};

constexpr char schemaResource[] = ":res/localmsgdb_ddl.sql";

[[noreturn]] void fail(const QString& text)
{
    qCWarning(lcMsgDb, "%s", qUtf8Printable(text));
    throw std::runtime_error(text.toUtf8().toStdString());
}

} // namespace

IOS6MessageDb::IOS6MessageDb(const QDir& folder, const QString& mcc, bool upgradeSchema)
    : folder(folder),
      fileRelayDir(folder.absoluteFilePath(QStringLiteral("file-relay"))),
      contacts(folder, mcc),
      recycle(folder.absoluteFilePath(QStringLiteral("recycle.db"))),
      country(mcc),
      dbPath(fileRelayDir.absoluteFilePath(cachedSmsDbBelowFileRelay)),
      upgradeSchema(upgradeSchema)
{
}

IOS6MessageDb::~IOS6MessageDb()
{
    // Before the private copy the connection may be reading goes.
    close();
}

void IOS6MessageDb::setReadOnlySource(const QString& path)
{
    dbPath = path;
    readOnly = true;
}

void IOS6MessageDb::initDb()
{
    if (handle())
        return;
    const bool existed = readOnly || QFileInfo::exists(dbPath);
    if (readOnly) {
        source = std::make_unique<ReadOnlyDatabaseSource>(dbPath);
        source->open(*this);
    } else if (existed) {
        openThrow(dbPath, ReadWrite);
    } else {
        createFromSchemaScript();
    }
    // A failure below would leave every column probe false on an open connection;
    // closing makes the next operation try again and report again.
    try {
        if (existed && upgradeSchema && !readOnly)
            upgradeColumns();
        // The REPLACE joins rely on both staying off: with recursive triggers, replacing
        // a join row fires its delete triggers and removes the rows it joins.
        executeThrow("PRAGMA recursive_triggers=OFF");
        executeThrow("PRAGMA foreign_keys=OFF");
        registerTriggerFunctions(*this);
        loadTableSql();
    } catch (...) {
        close();
        throw;
    }
}

void IOS6MessageDb::upgradeColumns()
{
    auto run = [this](const ColumnUpgrade& step) {
        QString error;
        if (exec(QString::fromLatin1(step.sql), error) != 0)
            fail(QStringLiteral("line:%1, sql:%2, error:%3").arg(step.line).arg(QLatin1String(step.sql), error));
    };
    if (!tbInfo(QStringLiteral("chat")).contains(QLatin1String(chatUpgrade.column)))
        run(chatUpgrade);
    const SqliteTableInfo messageColumns = tbInfo(QStringLiteral("message"));
    for (const ColumnUpgrade& step : messageUpgrades) {
        if (!messageColumns.contains(QLatin1String(step.column)))
            run(step);
    }
    // logic_hash is the last column added, and its index comes only with it.
    if (!messageColumns.contains(QLatin1String(logicHashIndex.column)))
        run(logicHashIndex);
}

void IOS6MessageDb::createFromSchemaScript()
{
    QFile resource{QString::fromLatin1(schemaResource)};
    if (!resource.open(QIODevice::ReadOnly))
        fail(QStringLiteral("read IOS6MessageDb ddl error. %1").arg(resource.errorString()));
    QByteArray bytes = resource.readAll();
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    const QString script = QString::fromLatin1(bytes);

    QDir().mkpath(QFileInfo(dbPath).absolutePath());
    openThrow(dbPath, ReadWriteCreate);
    // One transaction, so that a failure leaves no half-built file that a later open
    // would take for a complete database.
    QString error;
    if (exec(QStringLiteral("BEGIN;\n%1\nCOMMIT;").arg(script), error) != 0) {
        close();
        QFile::remove(dbPath);
        fail(QStringLiteral("create IOS6MessageDb error. %1").arg(error));
    }
}

void IOS6MessageDb::loadTableSql()
{
    tableProbes.clear();
    preparedInserts.clear();
    nanosecondDates.reset();
    Sqlite3Cursor cursor = queryThrow("select * from sqlite_master where type='table'");
    while (cursor.moveNext())
        tableSql.insert(cursor.getText("name"), cursor.getText("sql"));
}

bool IOS6MessageDb::tableHas(const QString& table, const QString& probe, Qt::CaseSensitivity cs) const
{
    const QString key = table + QLatin1Char('\n') + probe + QLatin1Char(cs == Qt::CaseSensitive ? 's' : 'i');
    const auto known = tableProbes.constFind(key);
    if (known != tableProbes.constEnd())
        return *known;
    const bool has = tableSql.value(table).contains(probe, cs);
    tableProbes.insert(key, has);
    return has;
}

bool IOS6MessageDb::hasItemType() const
{
    return tableHas(QStringLiteral("message"), QStringLiteral("item_type"));
}

void IOS6MessageDb::updateChatLast(qint64 chatId, int date)
{
    initDb();
    if (!tableHas(QStringLiteral("chat"), QStringLiteral("_last INTEGER"), Qt::CaseInsensitive))
        return;
    const qint64 stored = storedDate(date);
    executeThrow(Sqlite3Sql("update chat set _last=? where rowid=? and _last < ?")
                     .addInt64Param(stored)
                     .addInt64Param(chatId)
                     .addInt64Param(stored));
}

void IOS6MessageDb::settleDateUnit()
{
    initDb();
    if (!nanosecondDates) {
        Sqlite3Cursor newest = queryThrow("select date from message where date <> 0 order by rowid desc limit 1");
        nanosecondDates = newest.moveNext() && isNanosecondDate(newest.getInt64(0));
    }
}

qint64 IOS6MessageDb::storedDate(qint32 seconds)
{
    settleDateUnit();
    return *nanosecondDates ? qint64(seconds) * nanosecondsPerSecond : qint64(seconds);
}
