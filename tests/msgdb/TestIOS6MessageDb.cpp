#include "msgdb/DeviceFixture.h"
#include "msgdb/IOS6MessageDb.h"
#include "support/Cli.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr char localMessageColumns[] =
    "ROWID:INTEGER,guid:TEXT,text:TEXT,replace:INTEGER,service_center:TEXT,handle_id:INTEGER,subject:TEXT,"
    "country:TEXT,attributedBody:BLOB,version:INTEGER,type:INTEGER,service:TEXT,account:TEXT,account_guid:TEXT,"
    "error:INTEGER,date:INTEGER,date_read:INTEGER,date_delivered:INTEGER,is_delivered:INTEGER,"
    "is_finished:INTEGER,is_emote:INTEGER,is_from_me:INTEGER,is_empty:INTEGER,is_delayed:INTEGER,"
    "is_auto_reply:INTEGER,is_prepared:INTEGER,is_read:INTEGER,is_system_message:INTEGER,is_sent:INTEGER,"
    "has_dd_results:INTEGER,is_service_message:INTEGER,is_forward:INTEGER,was_downgraded:INTEGER,"
    "is_archive:INTEGER,cache_has_attachments:INTEGER,cache_roomnames:TEXT,was_data_detected:INTEGER,"
    "was_deduplicated:INTEGER,is_audio_message:INTEGER,is_played:INTEGER,date_played:INTEGER,"
    "item_type:INTEGER,other_handle:INTEGER,group_title:TEXT,group_action_type:INTEGER,share_status:INTEGER,"
    "share_direction:INTEGER,is_expirable:INTEGER,expire_state:INTEGER,message_action_type:INTEGER,"
    "logic_hash:TEXT";

constexpr char laterMessageColumns[] =
    "is_audio_message,is_played,date_played,item_type,other_handle,group_title,group_action_type,share_status,"
    "share_direction,is_expirable,expire_state,message_action_type";

QByteArray columnsOf(const QString& db, const QString& table)
{
    return sqliteCli(db, QStringLiteral("select group_concat(name) from pragma_table_info('%1')").arg(table));
}

QByteArray logicHashIndexCount(const QString& db)
{
    return sqliteCli(db, "select count(*) from pragma_index_list('message') where name='message_idx_logic_hash'");
}

} // namespace

class TestIOS6MessageDb : public QObject
{
    Q_OBJECT

private slots:
    void constructionOpensNothing()
    {
        QTemporaryDir dir;
        IOS6MessageDb db(QDir(dir.path()), QStringLiteral("310"), true);
        QVERIFY(QDir(dir.path()).isEmpty());
        QCOMPARE(db.fileRelayFolder().absolutePath(), dir.filePath("file-relay"));
        db.recycleDb()->initDb();
        QVERIFY(QFileInfo::exists(dir.filePath("recycle.db")));
        QVERIFY(!db.isOpen());
    }

    void newFolderGetsLocalSchema()
    {
        QTemporaryDir dir;
        IOS6MessageDb db(QDir(dir.path()), QString(), true);
        QVERIFY(!db.hasItemType());
        db.initDb();
        QVERIFY(db.hasItemType());
        QVERIFY(db.tableHas("handle", "_ct_name text", Qt::CaseInsensitive));
        QVERIFY(db.tableHas("handle", "_PHOTO BLOB", Qt::CaseInsensitive));
        QVERIFY(db.tableHas("chat", "_last INTEGER"));

        const QString path = smsDbPathIn(dir.path());
        QCOMPARE(db.databasePath(), path);
        QCOMPARE(sqliteCli(path, "select group_concat(name || ':' || type) from pragma_table_info('message')"),
                 QByteArray(localMessageColumns));
        QCOMPARE(sqliteCli(path, "select dflt_value from pragma_table_info('message') where name='other_handle'"),
                 QByteArray("-1"));
        QCOMPARE(columnsOf(path, "handle"), QByteArray("ROWID,id,country,service,uncanonicalized_id,_ct_name,_photo"));
        QCOMPARE(columnsOf(path, "chat"),
                 QByteArray("ROWID,guid,style,state,account_id,properties,chat_identifier,service_name,room_name,"
                            "account_login,is_archived,last_addressed_handle,display_name,group_id,_last"));
        QCOMPARE(columnsOf(path, "attachment"),
                 QByteArray("ROWID,guid,created_date,start_date,filename,uti,mime_type,transfer_state,is_outgoing,"
                            "user_info,transfer_name,total_bytes"));
        QCOMPARE(columnsOf(path, "chat_handle_join"), QByteArray("chat_id,handle_id"));
        QCOMPARE(columnsOf(path, "chat_message_join"), QByteArray("chat_id,message_id"));
        QCOMPARE(columnsOf(path, "message_attachment_join"), QByteArray("message_id,attachment_id"));
        QCOMPARE(sqliteCli(path, "select group_concat(name) from (select name from sqlite_master "
                                 "where type='trigger' order by 1)"),
                 QByteArray("clean_orphaned_attachments,clean_orphaned_handles,clean_orphaned_handles2,"
                            "clean_orphaned_messages,clear_message_has_attachments,set_message_has_attachments"));
        QCOMPARE(sqliteCli(path, "select group_concat(name) from (select name from sqlite_master "
                                 "where type='index' and name not like 'sqlite_autoindex%' order by 1)"),
                 QByteArray("chat_idx_identifier,chat_idx_last,chat_message_join_idx_message_id,message_idx_handle,"
                            "message_idx_logic_hash"));
    }

    void upgrade_data()
    {
        QTest::addColumn<QStringList>("fixtureOptions");
        QTest::addColumn<QString>("preparation");
        QTest::addColumn<bool>("upgrade");
        QTest::addColumn<QString>("addedColumns");
        QTest::addColumn<QByteArray>("indexCount");

        const QString all = QString::fromLatin1(laterMessageColumns) + ",logic_hash";
        QTest::newRow("iPhone file, flag clear") << QStringList() << QString() << false << QString() << QByteArray("0");
        QTest::newRow("iPhone file, flag set") << QStringList() << QString() << true << all << QByteArray("1");
        QTest::newRow("later iPhone file, flag set")
            << QStringList{"--later"} << QString() << true << QStringLiteral("logic_hash") << QByteArray("1");
        QTest::newRow("file with logic_hash already")
            << QStringList() << QStringLiteral("ALTER TABLE message ADD COLUMN logic_hash TEXT;") << true
            << QString::fromLatin1(laterMessageColumns) << QByteArray("0");
    }
    void upgrade()
    {
        QFETCH(QStringList, fixtureOptions);
        QFETCH(QString, preparation);
        QFETCH(bool, upgrade);
        QFETCH(QString, addedColumns);
        QFETCH(QByteArray, indexCount);

        QTemporaryDir dir;
        const QString path = smsDbPathIn(dir.path());
        QVERIFY(makeDeviceDb(path, fixtureOptions));
        if (!preparation.isEmpty())
            QCOMPARE(runCli("sqlite3", {path, preparation}).exitCode, 0);
        const QByteArray columnsBefore = columnsOf(path, "message");
        const QByteArray before = fileSha256(path);

        {
            IOS6MessageDb db(QDir(dir.path()), QString(), upgrade);
            db.initDb();
            QCOMPARE(db.hasItemType(), upgrade || fixtureOptions.contains("--later"));
        }
        if (!upgrade) {
            QCOMPARE(fileSha256(path), before);
            return;
        }
        const QByteArray expected = addedColumns.isEmpty() ? columnsBefore
                                                           : columnsBefore + "," + addedColumns.toLatin1();
        QCOMPARE(columnsOf(path, "message"), expected);
        QCOMPARE(columnsOf(path, "chat").count("group_id"), 1);
        QCOMPARE(logicHashIndexCount(path), indexCount);

        const QByteArray upgraded = fileSha256(path);
        IOS6MessageDb again(QDir(dir.path()), QString(), true);
        again.initDb();
        again.close();
        QCOMPARE(fileSha256(path), upgraded);
    }

    void failedUpgradeClosesAndIsReportedAgain()
    {
        QTemporaryDir dir;
        const QString path = smsDbPathIn(dir.path());
        QDir().mkpath(QFileInfo(path).absolutePath());
        QCOMPARE(runCli("sqlite3", {path, "CREATE TABLE chat(group_id TEXT); CREATE TABLE t(a); "
                                          "CREATE VIEW message AS SELECT a FROM t;"})
                     .exitCode,
                 0);
        IOS6MessageDb db(QDir(dir.path()), QString(), true);
        for (int attempt = 0; attempt < 2; ++attempt) {
            try {
                db.initDb();
                QFAIL("the upgrade of a view succeeded");
            } catch (const std::runtime_error& e) {
                QCOMPARE(QString::fromUtf8(e.what()),
                         "line:127, sql:ALTER TABLE message ADD COLUMN is_audio_message INTEGER DEFAULT 0;, "
                         "error:Cannot add a column to a view");
            }
            QVERIFY(!db.isOpen());
        }
    }

    void failedSchemaScriptLeavesNoFile()
    {
        QTemporaryDir dir;
        const QString path = smsDbPathIn(dir.path());
        // SQLite cannot create its journal where a folder stands, so the first CREATE fails.
        QVERIFY(QDir().mkpath(path + "-journal"));
        IOS6MessageDb db(QDir(dir.path()), QString(), true);
        try {
            db.initDb();
            QFAIL("the schema script ran without its journal");
        } catch (const std::runtime_error& e) {
            QVERIFY2(QString::fromUtf8(e.what()).startsWith("create IOS6MessageDb error. "), e.what());
        }
        QVERIFY(!db.isOpen());
        QVERIFY(!QFileInfo::exists(path));

        QVERIFY(QDir().rmdir(path + "-journal"));
        db.initDb();
        QVERIFY(db.hasItemType());
    }

    void deviceTriggersRunOnTheirFunctions()
    {
        QTemporaryDir dir;
        const QString path = smsDbPathIn(dir.path());
        QVERIFY(makeDeviceDb(path, {"--later"}));
        const CliResult cli = runCli("sqlite3", {path, "DELETE FROM attachment WHERE ROWID=1"});
        QVERIFY2(cli.err.contains("no such function"), cli.err.constData());

        IOS6MessageDb db(QDir(dir.path()), QString(), false);
        db.initDb();
        db.executeThrow("DELETE FROM attachment WHERE ROWID=1");
        // The join's trigger calls verify_chat() and a built-in, and the message's
        // trigger after_delete_message_plugin().
        db.executeThrow("DELETE FROM chat_message_join WHERE message_id=11");
        db.close();

        QCOMPARE(sqliteCli(path, "select count(*) from attachment"), QByteArray("0"));
        QCOMPARE(sqliteCli(path, "select count(*) from message where ROWID=11"), QByteArray("0"));
        QCOMPARE(sqliteCli(path, "select guid from deleted_messages"), QByteArray("msg-guid-0011"));
    }

    void onlyUnknownCalledNamesAreRegistered()
    {
        QTemporaryDir dir;
        const QString path = smsDbPathIn(dir.path());
        QVERIFY(makeDeviceDb(path, {"--later"}));
        IOS6MessageDb db(QDir(dir.path()), QString(), false);
        db.initDb();
        Sqlite3Cursor cursor = db.queryThrow("select distinct name, narg from pragma_function_list where name in "
                                             "('after_delete_message_plugin', 'verify_chat', 'not_a_call', "
                                             "'text', 'deleted_messages', 'lower') order by name");
        QStringList found;
        while (cursor.moveNext())
            found << cursor.getText("name") + ":" + cursor.getText("narg");
        QCOMPARE(found, QStringList({"after_delete_message_plugin:-1", "lower:1", "verify_chat:-1"}));
    }

    void walContentIsRead()
    {
        QTemporaryDir dir;
        const QString path = smsDbPathIn(dir.path());
        QVERIFY(makeDeviceDb(path, {"--wal"}));
        QVERIFY(QFileInfo::exists(path + "-wal"));
        IOS6MessageDb db(QDir(dir.path()), QString(), false);
        db.initDb();
        Sqlite3Cursor cursor = db.queryThrow("select text from message where guid='MSG-GUID-WAL'");
        QVERIFY(cursor.moveNext());
        QCOMPARE(cursor.getText("text"), "Only in the log");
    }

    void updateChatLastOnlyRaises()
    {
        QTemporaryDir dir;
        IOS6MessageDb local(QDir(dir.path()), QString(), true);
        local.initDb();
        local.executeThrow("insert into chat(ROWID, guid, _last) values(7, 'c', 100)");
        local.updateChatLast(7, 50);
        Sqlite3Cursor last = local.queryThrow("select _last from chat where ROWID=7");
        QVERIFY(last.moveNext());
        QCOMPARE(last.getInt("_last"), 100);
        local.updateChatLast(7, 200);
        last = local.queryThrow("select _last from chat where ROWID=7");
        QVERIFY(last.moveNext());
        QCOMPARE(last.getInt("_last"), 200);

        // An iPhone file has no _last: a statement naming it would throw.
        QTemporaryDir phoneDir;
        QVERIFY(makeDeviceDb(smsDbPathIn(phoneDir.path())));
        IOS6MessageDb phone(QDir(phoneDir.path()), QString(), false);
        phone.updateChatLast(1, 500);
        QVERIFY(phone.isOpen());
    }

    void orphanTriggersOfTheLocalSchema()
    {
        QTemporaryDir dir;
        IOS6MessageDb db(QDir(dir.path()), QString(), true);
        db.initDb();
        db.close();
        const QString path = smsDbPathIn(dir.path());
        QCOMPARE(runCli("sqlite3", {path, "INSERT INTO handle(ROWID, id, service) VALUES (1, 'a', 'SMS'), (2, 'b', 'SMS');"
                                          "INSERT INTO chat(ROWID, guid) VALUES (1, 'c');"
                                          "INSERT INTO chat_handle_join VALUES (1, 2);"
                                          "INSERT INTO message(ROWID, guid, handle_id) VALUES (1, 'm1', 1), (2, 'm2', 2), (3, 'm3', 1);"
                                          "INSERT INTO chat_message_join VALUES (1, 1), (1, 2), (1, 3);"})
                     .exitCode,
                 0);
        QCOMPARE(sqliteCli(path, "DELETE FROM message WHERE ROWID=1; select group_concat(ROWID) from handle;"),
                 QByteArray("1,2"));
        QCOMPARE(sqliteCli(path, "DELETE FROM chat_message_join WHERE message_id=3;"
                                 "select group_concat(ROWID) from message; select group_concat(ROWID) from handle;"),
                 QByteArray("2\n2"));
    }
};

QTEST_GUILESS_MAIN(TestIOS6MessageDb)
#include "TestIOS6MessageDb.moc"
