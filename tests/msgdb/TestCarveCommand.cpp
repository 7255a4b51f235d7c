#include "RawSqliteFixtures.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Deleted rows of every kind: a freed cell in the middle of a page leaves a freeblock, the
// cell at the start of the content area joins the gap, a deleted range frees whole pages,
// and a long text leaves its overflow pages on the freelist.
const char* buildScript = R"py(
import sqlite3, sys
c = sqlite3.connect(sys.argv[1])
for pragma in ('page_size=' + sys.argv[2], 'secure_delete=OFF', 'auto_vacuum=NONE', 'journal_mode=DELETE'):
    c.execute('PRAGMA ' + pragma)
c.execute('CREATE TABLE message(ROWID INTEGER PRIMARY KEY, text TEXT NOT NULL, n INTEGER, data BLOB)')
c.execute('CREATE TABLE plain(a TEXT, b INTEGER)')
c.executemany('INSERT INTO plain VALUES(?, ?)', [('p%d' % i, i) for i in range(5)])
for i in range(1, 301):
    c.execute('INSERT INTO message VALUES(?, ?, ?, ?)',
              (i, 'text of message %03d' % i + '.' * (i % 30), i * 3, bytes([i % 256]) * (i % 5) or None))
c.execute('INSERT INTO message VALUES(301, ?, 1, NULL)', ('A' * 3000,))
c.execute('INSERT INTO message VALUES(302, ?, 2, NULL)', ('C' * 5000 + 'end',))
c.execute('INSERT INTO message VALUES(303, ?, 3, NULL)', ('the last row',))
c.commit()
for where in ('ROWID = 301', 'ROWID IN (302, 303)', 'ROWID % 13 = 0', 'ROWID BETWEEN 150 AND 200'):
    c.execute('DELETE FROM message WHERE ' + where)
    c.commit()
)py";

// Compares msgtool's JSON (on stdin) with the database as SQLite reads it.
const char* checkScript = R"py(
import base64, json, sqlite3, sys
out = json.load(sys.stdin)
db = sqlite3.connect(sys.argv[1])
raw = open(sys.argv[1], 'rb').read()
def plain(v):
    return base64.b64decode(v['base64']) if isinstance(v, dict) else v
tables = {t['name']: t for t in out['tables']}
message = tables['message']
live = [list(r) for r in db.execute('SELECT ROWID, text, n, data FROM message ORDER BY ROWID')]
live_texts = {r[1] for r in live}
carved = {plain(d['values'][1]) for d in message['deleted']}
deleted = ['text of message %03d' % i + '.' * (i % 30) for i in range(1, 301) if i % 13 == 0 or 150 <= i <= 200]
surviving = [t for t in deleted if t.encode() in raw]
print(json.dumps({
    'columns': [tables[n]['columns'] for n in ('message', 'plain')],
    'live': sorted(message['live'], key=lambda r: r[0]) == [[r[0], r[1], r[2], {'base64': base64.b64encode(r[3]).decode()} if r[3] else None] for r in live],
    'plain_live': sorted(tables['plain']['live']) == sorted(list(r) for r in db.execute('SELECT a, b FROM plain')),
    'live_reported_deleted': sorted(t for t in carved if t in live_texts),
    'surviving': len(surviving),
    'found': len([t for t in surviving if t in carved]),
    'where': sorted({d['where'] for d in message['deleted']}),
    'overflow_text_back': 'C' * 5000 + 'end' in carved,
    'last_row_in_gap': any(d['where'] == 'gap' and d['values'][1] == 'the last row' for d in message['deleted']),
}))
)py";

} // namespace

class TestCarveCommand : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void deletedRowsComeBackAndLiveRowsStayLive_data()
    {
        QTest::addColumn<int>("pageSize");
        // Where the deleted rows lie: on a page of 64 KiB nothing is freed whole.
        QTest::addColumn<QJsonArray>("where");
        QTest::newRow("1 KiB pages") << 1024 << QJsonArray{"freeblock", "freelist", "gap"};
        QTest::newRow("32 KiB pages, a negative 16-bit number") << 32768 << QJsonArray{"freeblock", "gap"};
        QTest::newRow("64 KiB pages, stored as 1") << 65536 << QJsonArray{"freeblock", "gap"};
    }
    void deletedRowsComeBackAndLiveRowsStayLive()
    {
        QFETCH(int, pageSize);
        QFETCH(QJsonArray, where);
        const QString db = m_dir.filePath(QStringLiteral("carve-%1.db").arg(pageSize));
        const CliResult built = python(QString::fromUtf8(buildScript), {db, QString::number(pageSize)});
        QVERIFY2(built.exitCode == 0, built.err.constData());
        const CliResult carved = msgtool({"carve", db});
        QVERIFY2(carved.exitCode == 0, carved.err.constData());
        const QJsonObject out = QJsonDocument::fromJson(carved.out).object();
        QCOMPARE(out.value("page_size").toInt(), pageSize);
        const QJsonArray skipped = out.value("skipped").toArray();
        QVERIFY2(skipped.contains("table plain: deleted rows not carved, its first column is not an INTEGER PRIMARY KEY"),
                 QJsonDocument(skipped).toJson().constData());

        const CliResult check = runCli("python3", {"-c", QString::fromUtf8(checkScript), db}, carved.out);
        QVERIFY2(check.exitCode == 0, check.err.constData());
        const QJsonObject result = QJsonDocument::fromJson(check.out).object();
        QCOMPARE(result.value("columns").toArray(),
                 (QJsonArray{QJsonArray{"ROWID", "text", "n", "data"}, QJsonArray{"a", "b"}}));
        QVERIFY(result.value("live").toBool());
        QVERIFY(result.value("plain_live").toBool());
        QCOMPARE(result.value("live_reported_deleted").toArray(), QJsonArray());
        const int surviving = result.value("surviving").toInt();
        QVERIFY2(surviving >= 20, qPrintable(QString::number(surviving)));
        QVERIFY2(result.value("found").toInt() * 100 >= surviving * 95, check.out.constData());
        QCOMPARE(result.value("where").toArray(), where);
        QVERIFY(result.value("overflow_text_back").toBool());
        QVERIFY(result.value("last_row_in_gap").toBool());
    }

    // SQLite's own tables, here the counter of an AUTOINCREMENT table, are read like any
    // other, although a connection may not create them under their names.
    void sqliteOwnTablesAreRead()
    {
        const QString db = m_dir.filePath("autoincrement.db");
        QVERIFY(buildDatabase(db, R"py(
import sqlite3, sys
c = sqlite3.connect(sys.argv[1])
c.execute('CREATE TABLE t(id INTEGER PRIMARY KEY AUTOINCREMENT, a TEXT)')
c.execute("INSERT INTO t(a) VALUES('x')")
c.commit()
)py"));
        const CliResult r = msgtool({"carve", db});
        QCOMPARE(r.exitCode, 0);
        const QJsonObject out = QJsonDocument::fromJson(r.out).object();
        QJsonObject sequence;
        for (const QJsonValue& table : out.value("tables").toArray()) {
            if (table.toObject().value("name") == QLatin1String("sqlite_sequence"))
                sequence = table.toObject();
        }
        QCOMPARE(sequence.value("columns").toArray(), (QJsonArray{"name", "seq"}));
        QCOMPARE(sequence.value("live").toArray(), (QJsonArray{QJsonArray{"t", 1}}));
        QCOMPARE(out.value("skipped").toArray(), QJsonArray{"table sqlite_sequence: deleted rows not carved, its "
                                                            "first column is not an INTEGER PRIMARY KEY"});
    }

    // The schema is text from the file; a query there, recursive without end, must not run.
    void queryInTheSchemaIsNotRun()
    {
        const QString db = m_dir.filePath("query.db");
        QVERIFY(buildDatabase(db, R"py(
import sqlite3, sys
c = sqlite3.connect(sys.argv[1])
c.execute('CREATE TABLE t(id INTEGER PRIMARY KEY, a TEXT)')
c.execute("INSERT INTO t(a) VALUES('x')")
c.commit()
c.execute('PRAGMA writable_schema=ON')
c.execute("UPDATE sqlite_master SET sql = 'CREATE TABLE t AS WITH RECURSIVE c(x) AS "
          "(SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT x FROM c' WHERE name = 't'")
c.commit()
)py"));
        const CliResult r = msgtool({"carve", db});
        QCOMPARE(r.exitCode, 0);
        const QJsonObject out = QJsonDocument::fromJson(r.out).object();
        QCOMPARE(out.value("tables").toArray(), QJsonArray());
        QCOMPARE(out.value("skipped").toArray(),
                 QJsonArray{"table t: its CREATE statement cannot be read: it is not a plain CREATE TABLE statement"});
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("content"); // written to the file first unless empty
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("no file named") << QStringList{"carve"} << QByteArray() << 2 << "one database file expected";
        QTest::newRow("missing file") << QStringList{"carve", "missing.db"} << QByteArray() << 1 << "open ";
        QTest::newRow("no SQLite header") << QStringList{"carve", "short.db"} << QByteArray("tiny") << 1
                                          << "invalid page size.";
    }
    void failures()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, content);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        for (QString& arg : args) {
            if (arg.endsWith(".db"))
                arg = m_dir.filePath(arg);
        }
        if (!content.isEmpty())
            QVERIFY(writeFile(args.last(), content));
        const CliResult r = msgtool(args);
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(r.err.contains(("msgtool: " + message).toUtf8()), r.err.constData());
        QCOMPARE(r.out, QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestCarveCommand)
#include "TestCarveCommand.moc"
