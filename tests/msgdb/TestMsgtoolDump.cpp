#include "msgdb/DeviceFixture.h"
#include "support/Cli.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Reads the file with python's sqlite3 and compares the dump on stdin with it.
constexpr char checkDump[] = R"(
import json, sqlite3, sys
dump = json.load(sys.stdin)
db = sqlite3.connect(sys.argv[1])
def canonical(id):
    return id.lower() if '@' in id else id
has_item_type = any(r[1] == 'item_type' for r in db.execute('pragma table_info(message)'))
joined = set(r[0] for r in db.execute('select handle_id from chat_handle_join'))
handles = {r[0]: (canonical(r[1]), r[2]) for r in db.execute('select ROWID, id, service from handle') if r[0] in joined}
rows = db.execute('select m.ROWID, m.guid, m.text, m.date, m.is_from_me, m.service, m.handle_id, c.chat_identifier '
                  'from chat_message_join j join message m on j.message_id = m.ROWID join chat c on c.ROWID = j.chat_id'
                  + (' where m.item_type <> 4' if has_item_type else '') + ' order by m.date, m.ROWID').fetchall()
expected = [[r[0], r[1], r[2] or '', r[3], r[4], r[5], handles[r[6]][0] if r[6] in handles else None, r[7]] for r in rows]
got = [[m['rowid'], m['guid'], m['text'], m['date'], m['is_from_me'], m['service'], m['handle'], m['chat']]
       for m in dump['messages']]
assert got == expected, (got, expected)
chats = []
for rowid, guid, identifier, name in db.execute('select ROWID, guid, chat_identifier, display_name from chat order by ROWID'):
    last = db.execute('select max(m.date) from chat_message_join j join message m on m.ROWID = j.message_id '
                      'where j.chat_id = ?', (rowid,)).fetchone()[0]
    ids = sorted(handles[h][0] for (h,) in db.execute('select handle_id from chat_handle_join where chat_id = ?', (rowid,)))
    chats.append([rowid, guid, identifier, name or '', last, ids])
got = [[c['rowid'], c['guid'], c['chat_identifier'], c['display_name'], c['lastDate'], c['handles']] for c in dump['chats']]
assert got == chats, (got, chats)
got = {h['rowid']: (h['id'], h['service']) for h in dump['handles']}
assert got == handles, (got, handles)
assert dump['ios_version'] == 6
print(len(dump['messages']))
)";

QJsonObject parse(const QByteArray& json)
{
    return QJsonDocument::fromJson(json).object();
}

} // namespace

class TestMsgtoolDump : public QObject
{
    Q_OBJECT

private slots:
    void dumpMatchesTheFile_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("messages");
        QTest::newRow("iOS 6 file") << QStringList() << QByteArray("8");
        QTest::newRow("later iOS file") << QStringList{"--later"} << QByteArray("10");
    }
    void dumpMatchesTheFile()
    {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, messages);
        QTemporaryDir dir;
        const QString path = smsDbPathIn(dir.path());
        QVERIFY(makeDeviceDb(path, options));
        const QByteArray before = fileSha256(path);

        const CliResult byFolder = msgtool({"dump", dir.path()});
        QVERIFY2(byFolder.exitCode == 0, byFolder.err.constData());
        const CliResult checked = runCli("python3", {"-c", checkDump, path}, byFolder.out);
        QVERIFY2(checked.exitCode == 0, checked.err.constData());
        QCOMPARE(checked.out.trimmed(), messages);

        const CliResult byFile = msgtool({"dump", path});
        QCOMPARE(byFile.exitCode, 0);
        QCOMPARE(byFile.out, byFolder.out);
        QCOMPARE(fileSha256(path), before);
    }

    void dumpWritesBytesAsBase64AndAbsentLinksAsNull()
    {
        QTemporaryDir dir;
        const QString path = smsDbPathIn(dir.path());
        QVERIFY(makeDeviceDb(path));
        QCOMPARE(runCli("sqlite3", {path, "UPDATE message SET attributedBody = x'00ff10' WHERE ROWID = 1;"
                                          "INSERT INTO message(ROWID, guid, date) VALUES (50, 'LOST', 400000999);"
                                          "INSERT INTO chat_message_join VALUES (42, 50);"})
                     .exitCode,
                 0);
        const QJsonObject dump = parse(msgtool({"dump", dir.path()}).out);
        for (const QJsonValue& value : dump["messages"].toArray()) {
            const QJsonObject m = value.toObject();
            if (m["rowid"].toInt() == 1)
                QCOMPARE(m["attributedBody"].toString(), "AP8Q");
            if (m["rowid"].toInt() == 7)
                QVERIFY(m["handle"].isNull());
            if (m["rowid"].toInt() == 50)
                QVERIFY(m["chat"].isNull());
        }
        QCOMPARE(dump["messages"].toArray().size(), 9);
    }

    // The streamed document escapes what JSON must and keeps the rest as it stands.
    void dumpKeepsEveryCharacterOfATextThroughJson()
    {
        QTemporaryDir dir;
        const QString path = smsDbPathIn(dir.path());
        QVERIFY(makeDeviceDb(path));
        const QString text = QStringLiteral("\"quoted\" \\ back\nline\ttab\x01\x1f caf\u00e9 \U0001F600 \uFFFC");
        QCOMPARE(runCli("sqlite3", {path, "UPDATE message SET text = CAST(x'" + text.toUtf8().toHex()
                                              + "' AS TEXT) WHERE ROWID = 1"})
                     .exitCode,
                 0);
        const CliResult dumped = msgtool({"dump", path});
        QCOMPARE(dumped.exitCode, 0);
        QJsonParseError error;
        const QJsonObject dump = QJsonDocument::fromJson(dumped.out, &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        bool found = false;
        for (const QJsonValue& value : dump["messages"].toArray()) {
            if (value["rowid"].toInt() == 1) {
                QCOMPARE(value["text"].toString(), text);
                found = true;
            }
        }
        QVERIFY(found);
    }

    // Output that cannot be written is a failure with its reason, even after output began.
    void aDumpThatCannotBeWrittenFails()
    {
        QTemporaryDir dir;
        const QString path = smsDbPathIn(dir.path());
        QVERIFY(makeDeviceDb(path));
        QProcess tool;
        tool.setStandardOutputFile(QStringLiteral("/dev/full"));
        tool.start(QStringLiteral(MSGTOOL_PATH), {"dump", path});
        QVERIFY(tool.waitForFinished(60000));
        QCOMPARE(tool.exitCode(), 1);
        QCOMPARE(tool.readAllStandardError(), QByteArray("msgtool: cannot write the output\n"));
    }

    void createMakesAnEmptyLocalDatabase()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath("My messages");
        const CliResult created = msgtool({"create", folder});
        QVERIFY2(created.exitCode == 0, created.err.constData());
        QCOMPARE(parse(created.out)["created"].toString(), folder);
        const QString path = smsDbPathIn(folder);
        QCOMPARE(sqliteCli(path, "select count(*) from pragma_table_info('message'); "
                                 "select count(*) from sqlite_master where type='trigger';"),
                 QByteArray("51\n6"));

        const QJsonObject dump = parse(msgtool({"dump", folder}).out);
        QCOMPARE(dump["ios_version"].toInt(), 6);
        QVERIFY(dump["messages"].toArray().isEmpty());
        QVERIFY(dump["chats"].toArray().isEmpty());
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("dump without a path") << QStringList{"dump"} << 2;
        QTest::newRow("create with two folders") << QStringList{"create", "a", "b"} << 2;
        QTest::newRow("dump of a folder without database") << QStringList{"dump", "."} << 1;
        QTest::newRow("dump of a missing file") << QStringList{"dump", "missing.db"} << 1;
        QTest::newRow("dump of a file of neither schema") << QStringList{"dump", "neither.db"} << 1;
        QTest::newRow("create below a file") << QStringList{"create", "plain/db"} << 1;
    }
    void failures()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QTemporaryDir dir;
        QFile plain(dir.filePath("plain"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        QCOMPARE(runCli("sqlite3", {dir.filePath("neither.db"), "CREATE TABLE message(ROWID INTEGER PRIMARY KEY, "
                                                            "address TEXT); CREATE TABLE msg_group(a);"})
                     .exitCode,
                 0);
        for (QString& arg : args) {
            if (arg != "dump" && arg != "create")
                arg = dir.filePath(arg);
        }
        const CliResult r = msgtool(args);
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(r.err.startsWith("msgtool: "), r.err.constData());
        QVERIFY(r.out.isEmpty());
        QVERIFY(!QFileInfo::exists(dir.filePath("missing.db")));
    }
};

QTEST_GUILESS_MAIN(TestMsgtoolDump)
#include "TestMsgtoolDump.moc"
