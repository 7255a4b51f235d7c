#include "msgdb/ReadOnlyDatabaseSource.h"
#include "support/Cli.h"

#include "sqlite/Sqlite3DB.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The file the connection reads.
QString mainFile(Sqlite3DB& db)
{
    Sqlite3Cursor row = db.queryThrow("select file from pragma_database_list where name = 'main'");
    return row.moveNext() ? row.getText("file") : QString();
}

} // namespace

class TestReadOnlyDatabaseSource : public QObject
{
    Q_OBJECT

private slots:
    // Only a rollback-journal file with nothing beside it is read where it lies.
    void readsInPlaceOrThroughACopy_data()
    {
        QTest::addColumn<QString>("journalMode");
        QTest::addColumn<QString>("sideFile");
        QTest::addColumn<bool>("inPlace");
        QTest::newRow("rollback journal, alone") << "DELETE" << QString() << true;
        QTest::newRow("rollback journal, -journal beside") << "DELETE" << "-journal" << false;
        QTest::newRow("rollback journal, -shm beside") << "DELETE" << "-shm" << false;
        QTest::newRow("write-ahead log in the header, no -wal") << "WAL" << QString() << false;
        QTest::newRow("write-ahead log with its -wal") << "WAL" << "-wal" << false;
    }
    void readsInPlaceOrThroughACopy()
    {
        QFETCH(QString, journalMode);
        QFETCH(QString, sideFile);
        QFETCH(bool, inPlace);
        QTemporaryDir dir;
        const QString path = dir.filePath("sms.db");
        QCOMPARE(sqliteCli(path, "PRAGMA journal_mode=" + journalMode + "; CREATE TABLE message(text); "
                                 "INSERT INTO message VALUES('kept')"),
                 journalMode.toLower().toUtf8());
        if (!sideFile.isEmpty()) {
            QFile side(path + sideFile);
            QVERIFY(side.open(QIODevice::WriteOnly));
        }
        const QStringList before = QDir(dir.path()).entryList(QDir::Files);
        QCOMPARE(ReadOnlyDatabaseSource::readableInPlace(path), inPlace);

        {
            ReadOnlyDatabaseSource source(path);
            Sqlite3DB db;
            source.open(db);
            Sqlite3Cursor row = db.queryThrow("select text from message");
            QVERIFY(row.moveNext());
            QCOMPARE(row.getText("text"), "kept");
            // Neither the file nor a private copy takes a write.
            QVERIFY_THROWS_EXCEPTION(std::exception, db.executeThrow("INSERT INTO message VALUES('new')"));
            QCOMPARE(mainFile(db) == path, inPlace);
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), before);
    }
};

QTEST_GUILESS_MAIN(TestReadOnlyDatabaseSource)
#include "TestReadOnlyDatabaseSource.moc"
