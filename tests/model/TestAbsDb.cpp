#include "model/AbsDb.h"
#include "sqlite/Sqlite3Exception.h"
#include "support/Cli.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

class CountingDb : public AbsDb
{
public:
    explicit CountingDb(const QString& path) : m_path(path) {}
    void initDb() override
    {
        ++initCalls;
        if (handle())
            return;
        openThrow(m_path, ReadWriteCreate);
        executeThrow("create table if not exists t(id INTEGER PRIMARY KEY, v TEXT)");
    }
    int initCalls = 0;

private:
    QString m_path;
};

Sqlite3Row rowWith(const QString& v)
{
    Sqlite3Row row;
    row["v"] = v;
    return row;
}

} // namespace

class TestAbsDb : public QObject
{
    Q_OBJECT

private slots:
    void endWithoutBeginTouchesNothing()
    {
        QTemporaryDir dir;
        CountingDb db(dir.filePath("f.db"));
        db.endTransaction(true);
        db.endTransaction(false);
        QCOMPARE(db.initCalls, 0);
        QVERIFY(!QFileInfo::exists(dir.filePath("f.db")));
    }

    void transactionCommitsOnlyWhenEnded_data()
    {
        QTest::addColumn<bool>("end");
        QTest::addColumn<QByteArray>("count");
        QTest::newRow("destroyed inside the transaction") << false << QByteArray("0");
        QTest::newRow("ended with commit") << true << QByteArray("3");
    }
    void transactionCommitsOnlyWhenEnded()
    {
        QFETCH(bool, end);
        QFETCH(QByteArray, count);
        QTemporaryDir dir;
        const QString path = dir.filePath("f.db");
        {
            CountingDb db(path);
            db.beginTransaction();
            QVERIFY(db.isInTransaction());
            QCOMPARE(db.insertRow(rowWith("a"), "t"), 1);
            QCOMPARE(db.insertRow(rowWith("b"), "t"), 2);
            QCOMPARE(db.insertRow(rowWith("c"), "t"), 3);
            if (end)
                db.endTransaction(true);
        }
        QCOMPARE(sqliteCli(path, "select count(*) from t"), count);
    }

    void insertKeepsOrDropsTheRowId()
    {
        QTemporaryDir dir;
        CountingDb db(dir.filePath("f.db"));
        Sqlite3Row row = rowWith("x");
        row["ID"] = qlonglong(40);
        QCOMPARE(db.insertRow(row, "t"), 40);
        QCOMPARE(db.insertRow(row, "t", {"id"}), 41);
        const QList<Sqlite3Row> rows = db.selectAll("t");
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[1].value("id").toLongLong(), 41);
        QCOMPARE(rows[1].value("v").toString(), QStringLiteral("x"));
    }

    void selectAllOfEmptyAndMissingTables()
    {
        QTemporaryDir dir;
        CountingDb db(dir.filePath("f.db"));
        QVERIFY(db.selectAll("t").isEmpty());
        QVERIFY_THROWS_EXCEPTION(Sqlite3Exception, db.selectAll("missing"));
    }

    void failedCommitStaysInTransaction()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("f.db");
        CountingDb db(path);
        db.initDb();
        // A deferred foreign key makes COMMIT fail while the transaction stays open.
        db.executeThrow("PRAGMA foreign_keys = ON");
        db.executeThrow("create table p(id INTEGER PRIMARY KEY)");
        db.executeThrow("create table c(pid REFERENCES p(id) DEFERRABLE INITIALLY DEFERRED)");
        db.beginTransaction();
        db.executeThrow("insert into c values(5)");
        QVERIFY_THROWS_EXCEPTION(Sqlite3Exception, db.endTransaction(true));
        QVERIFY(db.isInTransaction());
        db.endTransaction(false);
        QVERIFY(!db.isInTransaction());
        QCOMPARE(sqliteCli(path, "select count(*) from c"), QByteArray("0"));
    }
};

QTEST_GUILESS_MAIN(TestAbsDb)
#include "TestAbsDb.moc"
