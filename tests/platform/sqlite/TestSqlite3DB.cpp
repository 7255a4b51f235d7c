#include "sqlite/Sqlite3DB.h"
#include "sqlite/Sqlite3Exception.h"
#include "sqlite/Sqlite3RowReader.h"
#include "sqlite/SqliteQtVersion.h"
#include "support/Cli.h"

#include <QFileInfo>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <thread>

class TestSqlite3DB : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_dir.isValid()); }

    void versionIsFive() { QCOMPARE(sqlite_qt_version(), 5); }

    void insertSqlKeepsEveryTypeThroughARoundTrip()
    {
        const QString path = m_dir.filePath("t.db");
        Sqlite3DB db;
        db.openThrow(path, Sqlite3DB::ReadWriteCreate);
        db.executeThrow("CREATE TABLE src(ROWID INTEGER PRIMARY KEY, a TEXT, b BLOB, c INTEGER, d TEXT, e REAL, f BLOB)");
        db.executeThrow("CREATE TABLE t(ROWID INTEGER PRIMARY KEY, a TEXT, b BLOB, c INTEGER, d TEXT, e REAL, f BLOB)");
        Sqlite3Sql insert("INSERT INTO src VALUES (99, ?, ?, ?, NULL, ?, ?)");
        insert.addTextParam(QString()).addBlobParam(QByteArray("a\0b", 3)).addInt64Param(Q_INT64_C(1) << 40)
            .addDoubleParam(2.5).addBlobParam(QByteArray());
        db.executeThrow(insert);

        Sqlite3Cursor cursor = db.queryThrow("select * from src");
        QVERIFY(cursor.moveNext());
        const Sqlite3Row row = cursor.getRow();
        QVERIFY(!row.value("d").isValid());
        db.executeThrow(row.insertSql("t", {"rowid"}));
        db.executeThrow(row.insertSql("t", {}));

        QCOMPARE(sqliteCli(path, "select rowid, typeof(a), typeof(b), typeof(c), typeof(d), typeof(e), typeof(f), "
                                 "quote(a), hex(b), c, e, length(f) from t order by rowid"),
                 QByteArray("1|text|blob|integer|null|real|blob|''|610062|1099511627776|2.5|0\n"
                            "99|text|blob|integer|null|real|blob|''|610062|1099511627776|2.5|0"));
    }

    void insertSqlQuotesIdentifiers()
    {
        Sqlite3DB db;
        db.openThrow(m_dir.filePath("q.db"), Sqlite3DB::ReadWriteCreate);
        db.executeThrow("CREATE TABLE \"we\"\"ird\"(\"text\" TEXT, \"date\" INTEGER, \"replace\" INTEGER)");
        Sqlite3Row row;
        row["text"] = QStringLiteral("héllo");
        row["date"] = 7;
        row["replace"] = qlonglong(-1);
        db.executeThrow(row.insertSql("we\"ird"));
        Sqlite3Cursor c = db.queryThrow("select * from \"we\"\"ird\"");
        QVERIFY(c.moveNext());
        QCOMPARE(c.getText("TEXT"), QStringLiteral("héllo"));
        QCOMPARE(c.getInt64("Date"), 7);
        QCOMPARE(c.getInt("replace"), -1);
    }

    void cursorReadsByNameWithoutCaseAndDefaultsMissingColumns()
    {
        const QString path = m_dir.filePath("c.db");
        QCOMPARE(sqliteCli(path, "create table t(ROWID INTEGER PRIMARY KEY, txt TEXT, n INTEGER);"
                                 "insert into t values(5, 'a' || char(0) || 'b', NULL);"),
                 QByteArray());
        Sqlite3DB db;
        db.openThrow(path, Sqlite3DB::ReadOnly);
        Sqlite3Cursor c = db.queryThrow("select * from t");
        QVERIFY(c.moveNext());
        QCOMPARE(c.getInt64("rowid"), 5);
        QCOMPARE(c.getInt64(0), 5);
        QCOMPARE(c.getText("TXT"), QString::fromUtf8("a\0b", 3));
        QVERIFY(c.isNull("n"));
        QVERIFY(c.isNull("no_such_column"));
        QCOMPARE(c.getInt("no_such_column"), 0);
        QCOMPARE(c.getInt64("no_such_column"), 0);
        QCOMPARE(c.getText("no_such_column"), QString());
        QCOMPARE(c.getBlob("no_such_column"), QByteArray());
        QVERIFY(!c.moveNext());
        QCOMPARE(c.getInt64("rowid"), 0); // past the end nothing is read
    }

    void countIsTheWholeResultWhereverTheCursorStands()
    {
        const QString path = m_dir.filePath("n.db");
        Sqlite3DB db;
        db.openThrow(path, Sqlite3DB::ReadWriteCreate);
        db.executeThrow("create table t(a)");
        const CliResult py = python("import sqlite3,sys\n"
                                    "c=sqlite3.connect(sys.argv[1])\n"
                                    "c.executemany('insert into t values(?)',[(1,),(2,),(3,)])\n"
                                    "c.commit()\n",
                                    {path});
        QCOMPARE(py.exitCode, 0);
        Sqlite3Sql sql("select a from t where a >= ?");
        sql.addIntParam(1);
        Sqlite3Cursor c = db.queryThrow(sql);
        QVERIFY(c.moveNext());
        QCOMPARE(c.count(), 3);
        QCOMPARE(c.getInt("a"), 1);
        QVERIFY(c.moveNext());
        QCOMPARE(c.getInt("a"), 2);
    }

    void failuresThrowWithSqlitesMessage()
    {
        Sqlite3DB db;
        QVERIFY_THROWS_EXCEPTION(Sqlite3Exception, db.queryThrow("select 1"));
        QVERIFY_THROWS_EXCEPTION(Sqlite3Exception, db.executeThrow("select 1"));
        QVERIFY_THROWS_EXCEPTION(Sqlite3Exception, db.beginTran());
        QVERIFY_THROWS_EXCEPTION(Sqlite3Exception, db.tbInfo("t"));

        const QString missing = m_dir.filePath("missing.db");
        QVERIFY_THROWS_EXCEPTION(Sqlite3Exception, db.openThrow(missing, Sqlite3DB::ReadWrite));
        QVERIFY(!QFileInfo::exists(missing));
        QVERIFY(!db.handle());

        db.openThrow(m_dir.filePath("e.db"), Sqlite3DB::ReadWriteCreate);
        try {
            db.queryThrow("select * from nowhere");
            QFAIL("no exception");
        } catch (const Sqlite3Exception& e) {
            QVERIFY(QString::fromUtf8(e.what()).contains("no such table: nowhere"));
        }
        // A second statement would otherwise be dropped silently.
        QVERIFY_THROWS_EXCEPTION(Sqlite3Exception, db.executeThrow("create table a(x); create table b(x)"));
        Sqlite3Sql tooFew("select ?, ?");
        tooFew.addIntParam(1);
        QVERIFY_THROWS_EXCEPTION(Sqlite3Exception, db.queryThrow(tooFew));

        QString error;
        QVERIFY(db.exec("create table a(x); bogus", error) != 0);
        QVERIFY(error.contains("syntax error"));
        QCOMPARE(db.exec("create table b(x); create index bi on b(x);", error), 0);
    }

    void aFullDatabaseNamesItsFile()
    {
        const QString path = m_dir.filePath("full.db");
        Sqlite3DB db;
        db.openThrow(path, Sqlite3DB::ReadWriteCreate);
        db.executeThrow("create table t(x)");
        // A page limit makes SQLite refuse to grow the file as a full disk does.
        db.queryThrow("pragma max_page_count = 2").moveNext();
        const QString expected = "database or disk is full: no space left for " + QFileInfo(path).canonicalFilePath();
        try {
            db.executeThrow("insert into t values (zeroblob(100000))");
            QFAIL("no exception");
        } catch (const Sqlite3Exception& e) {
            QVERIFY2(QString::fromUtf8(e.what()).startsWith(expected), e.what());
        }
        QString error;
        QVERIFY(db.exec("insert into t values (zeroblob(100000))", error) != 0);
        QCOMPARE(error, expected);
    }

    void cursorOutlivesClose()
    {
        Sqlite3DB db;
        db.openThrow(m_dir.filePath("o.db"), Sqlite3DB::ReadWriteCreate);
        QString error;
        QCOMPARE(db.exec("create table t(a); insert into t values(1); insert into t values(2);", error), 0);
        Sqlite3Cursor c = db.queryThrow("select a from t");
        QVERIFY(c.moveNext());
        db.close();
        QVERIFY(!db.handle());
        QVERIFY(c.moveNext());
        QCOMPARE(c.getInt("a"), 2);
        QVERIFY_THROWS_EXCEPTION(Sqlite3Exception, db.queryThrow("select 1"));
    }

    void sameStatementTextRunsTwiceAtOnceAndAcrossReopen()
    {
        const QString path = m_dir.filePath("s.db");
        Sqlite3DB db;
        db.openThrow(path, Sqlite3DB::ReadWriteCreate);
        db.executeThrow("create table t(a)");
        for (int i = 1; i <= 3; ++i)
            db.executeThrow(Sqlite3Sql("insert into t values(?)").addIntParam(i));
        const Sqlite3Sql query = Sqlite3Sql("select a from t where a >= ? order by a").addIntParam(2);
        Sqlite3Cursor outer = db.queryThrow(query);
        QVERIFY(outer.moveNext());
        Sqlite3Cursor inner = db.queryThrow(Sqlite3Sql("select a from t where a >= ? order by a").addIntParam(1));
        QVERIFY(inner.moveNext());
        QCOMPARE(inner.getInt("a"), 1);
        QCOMPARE(outer.getInt("a"), 2);

        db.close();
        db.openThrow(path, Sqlite3DB::ReadWrite);
        QVERIFY(outer.moveNext()); // still reading the closed connection's statement
        QCOMPARE(outer.getInt("a"), 3);
        Sqlite3Cursor again = db.queryThrow(query);
        QVERIFY(again.moveNext());
        QCOMPARE(again.getInt("a"), 2);
        QCOMPARE(again.count(), 2);
    }

    void reusedStatementSeesColumnsAddedByAnotherConnection()
    {
        const QString path = m_dir.filePath("w.db");
        Sqlite3DB db;
        db.openThrow(path, Sqlite3DB::ReadWriteCreate);
        db.executeThrow("create table t(a)");
        db.executeThrow("insert into t values(1)");
        {
            Sqlite3Cursor c = db.queryThrow("select * from t");
            QVERIFY(c.moveNext());
        }
        QCOMPARE(sqliteCli(path, "alter table t add column b; update t set b = 7"), QByteArray());
        Sqlite3Cursor c = db.queryThrow("select * from t");
        QVERIFY(c.moveNext());
        QCOMPARE(c.getInt("b"), 7);
        QCOMPARE(c.getRow().size(), 2);
    }

    // Positions come from the first row, after the step: a column another connection added
    // meanwhile is found through a cached statement, a missing one reads empty, and a row
    // that strays from the first row's order fails rather than read the wrong column.
    void rowReaderReadsByPositionInTheFirstRowsOrder()
    {
        const QString path = m_dir.filePath("r.db");
        Sqlite3DB db;
        db.openThrow(path, Sqlite3DB::ReadWriteCreate);
        db.executeThrow("create table t(a, c)");
        db.executeThrow("insert into t values(1, x'0102')");
        db.queryThrow("select * from t").moveNext();
        QCOMPARE(sqliteCli(path, "alter table t add column B; update t set B = 'x'; insert into t values(2, NULL, 'y')"),
                 QByteArray());

        Sqlite3Cursor cursor = db.queryThrow("select * from t order by a");
        Sqlite3RowReader rows(cursor);
        QStringList read;
        while (rows.moveNext()) {
            read << QString::number(rows.int64("A")) << rows.text("b") << QString::fromLatin1(rows.blob("c").toHex())
                 << QString::number(rows.integer("missing"));
        }
        QCOMPARE(read, (QStringList{"1", "x", "0102", "0", "2", "y", "", "0"}));

        Sqlite3Cursor again = db.queryThrow("select * from t order by a");
        Sqlite3RowReader strayed(again);
        QVERIFY(strayed.moveNext());
        strayed.int64("a");
        QVERIFY(strayed.moveNext());
        QVERIFY_THROWS_EXCEPTION(std::logic_error, strayed.text("b"));
    }

    void tbInfoIsCaseInsensitiveAndEmptyForMissingTable()
    {
        Sqlite3DB db;
        db.openThrow(m_dir.filePath("i.db"), Sqlite3DB::ReadWriteCreate);
        db.executeThrow("create table t(ROWID INTEGER PRIMARY KEY, a TEXT NOT NULL DEFAULT '', b, c VARCHAR(5), d FLOAT, e DECIMAL)");
        const SqliteTableInfo info = db.tbInfo("t");
        QCOMPARE(info.size(), 6);
        QVERIFY(info.contains("rowid"));
        QVERIFY(info.value("rowid").isInteger());
        QVERIFY(info.value("rowid").primaryKey);
        QVERIFY(info.value("A").isText());
        QVERIFY(info.value("a").notNull);
        QVERIFY(info.value("a").hasDefault);
        QVERIFY(info.value("b").isBlob());
        QVERIFY(info.value("c").isText());
        QVERIFY(info.value("d").isReal());
        QVERIFY(info.value("e").isNumeric());
        QVERIFY(db.tbInfo("missing").isEmpty());
    }

    void functionsRegisterOnTheHandle()
    {
        Sqlite3DB db;
        db.openThrow(m_dir.filePath("f.db"), Sqlite3DB::ReadWriteCreate);
        auto twice = [](sqlite3_context* ctx, int, sqlite3_value** argv) {
            sqlite3_result_int(ctx, 2 * sqlite3_value_int(argv[0]));
        };
        QCOMPARE(sqlite3_create_function_v2(db.handle(), "twice", 1, SQLITE_ANY, nullptr, twice, nullptr, nullptr, nullptr),
                 SQLITE_OK);
        Sqlite3Cursor c = db.queryThrow("select twice(21) as v");
        QVERIFY(c.moveNext());
        QCOMPARE(c.getInt("v"), 42);
    }

    // The second writer reads before it writes, as the exporter does: it must wait for the
    // first one's commit, not fail with "database is locked".
    void secondWriterWaitsForTheFirst()
    {
        const QString path = m_dir.filePath("writers.db");
        Sqlite3DB first;
        first.openThrow(path, Sqlite3DB::ReadWriteCreate);
        first.executeThrow("CREATE TABLE t(v TEXT)");
        first.beginTran();
        first.executeThrow("INSERT INTO t VALUES ('first')");

        Sqlite3DB second;
        second.openThrow(path, Sqlite3DB::ReadWrite);
        // Stands in for the busy timeout, and tells once the second writer is kept waiting.
        QSemaphore waiting;
        auto busy = [](void* semaphore, int tries) {
            if (tries == 0)
                static_cast<QSemaphore*>(semaphore)->release();
            sqlite3_sleep(5);
            return 1;
        };
        QCOMPARE(sqlite3_busy_handler(second.handle(), busy, &waiting), SQLITE_OK);
        std::string error;
        std::thread writer([&] {
            try {
                second.beginTran();
                {
                    Sqlite3Cursor count = second.queryThrow("SELECT count(*) FROM t");
                    count.moveNext();
                }
                second.executeThrow("INSERT INTO t VALUES ('second')");
                second.commitTran();
            } catch (const std::exception& e) {
                error = e.what();
                // Lets the first writer commit.
                second.close();
            }
        });
        const bool waited = waiting.tryAcquire(1, 10000);
        first.commitTran();
        writer.join();

        QCOMPARE(QString::fromStdString(error), QString());
        QVERIFY(waited);
        QCOMPARE(sqliteCli(path, "select v from t order by rowid"), QByteArray("first\nsecond"));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestSqlite3DB)
#include "TestSqlite3DB.moc"
