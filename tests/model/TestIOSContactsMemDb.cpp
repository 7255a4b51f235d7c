#include "model/IOSContactsMemDb.h"

#include "support/Cli.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Builds an iPhone address book below <folder>/file-relay with python's sqlite3 and
// sets the file times. Arguments (JSON): folder, book_time, wal_time (null: no "-wal";
// otherwise Cat and her number exist only in the log), cache_time (null: no
// "ct-phone.db"; otherwise a stale cache that gives +447400123456 to "Stale"),
// numbers (false: no ABMultiValue table).
const char addressBookScript[] = R"py(
import json, os, shutil, sqlite3, sys
a = json.loads(sys.argv[1])
root = os.path.join(a["folder"], "file-relay/var/mobile/Library/AddressBook")
os.makedirs(root)
book = os.path.join(root, "AddressBook.sqlitedb")
c = sqlite3.connect(book)
c.execute("create table ABPerson(ROWID INTEGER PRIMARY KEY AUTOINCREMENT, First TEXT, Last TEXT, Middle TEXT)")
c.executemany("insert into ABPerson(ROWID, First, Last, Middle) values(?,?,?,?)",
              [(1, "Ann", None, None), (2, "  ", "Cole", " "), (3, "Bob", "Smith ", " Q ")])
if a["numbers"]:
    c.execute("create table ABMultiValue(UID INTEGER PRIMARY KEY, record_id INTEGER, property INTEGER, value TEXT)")
    c.executemany("insert into ABMultiValue(record_id, property, value) values(?,?,?)",
                  [(1, 3, "07400 123456"), (1, 3, "+44 7400 123456"), (1, 4, "ann@example.com"),
                   (2, 3, "07400 222222"), (3, 3, "+1 (201) 555-0123")])
c.commit()
if a["wal_time"] is not None:
    c.execute("pragma journal_mode=wal")
    shutil.copy(book, book + ".main")
    c.execute("insert into ABPerson(ROWID, First) values(4, 'Cat')")
    c.execute("insert into ABMultiValue(record_id, property, value) values(4, 3, '07400 999999')")
    c.commit()
    shutil.copy(book + "-wal", book + ".wal")
c.close()
if a["wal_time"] is not None:
    os.replace(book + ".main", book)
    os.replace(book + ".wal", book + "-wal")
    os.utime(book + "-wal", (a["wal_time"], a["wal_time"]))
os.utime(book, (a["book_time"], a["book_time"]))
i = sqlite3.connect(os.path.join(root, "AddressBookImages.sqlitedb"))
i.execute("create table ABThumbnailImage(record_id INTEGER, format INTEGER, data BLOB)")
i.executemany("insert into ABThumbnailImage values(?,?,?)", [(3, 0, b"old"), (3, 1, b"new\0png")])
i.commit()
i.close()
if a["cache_time"] is not None:
    cache = os.path.join(a["folder"], "ct-phone.db")
    s = sqlite3.connect(cache)
    s.executescript("create table person(rowid INTEGER PRIMARY KEY, first TEXT, last TEXT, middle TEXT, photo BLOB);"
                    "create table tel(person_id INTEGER, number TEXT, UNIQUE(person_id, number));"
                    "insert into person(rowid, first) values(9, 'Stale');"
                    "insert into tel values(9, '+447400123456');")
    s.close()
    os.utime(cache, (a["cache_time"], a["cache_time"]))
)py";

constexpr qint64 bookTime = 1600000000;
const QVariant none;

void makeAddressBook(const QString& folder, const QVariant& walTime, const QVariant& cacheTime, bool numbers = true)
{
    const QJsonObject args{{"folder", folder},
                           {"book_time", bookTime},
                           {"wal_time", QJsonValue::fromVariant(walTime)},
                           {"cache_time", QJsonValue::fromVariant(cacheTime)},
                           {"numbers", numbers}};
    const CliResult result = python(addressBookScript, {QJsonDocument(args).toJson(QJsonDocument::Compact)});
    QVERIFY2(result.exitCode == 0, result.err.constData());
}

} // namespace

class TestIOSContactsMemDb : public QObject
{
    Q_OBJECT

private slots:
    void findsNamesAndPhotosByCanonicalNumber()
    {
        QTemporaryDir work;
        makeAddressBook(work.path(), bookTime + 60, none);
        {
            IOSContactsMemDb contacts(QDir(work.path()), QStringLiteral("234"));
            QTest::ignoreMessage(QtDebugMsg, "rebuild IOSContactsMemDb.");
            contacts.initDb();
            QVERIFY(contacts.isOpen());
            QCOMPARE(contacts.findContactByNumber(QStringLiteral("+447400123456")).displayName(), QStringLiteral("Ann"));
            QCOMPARE(contacts.findContactByNumber(QStringLiteral("+447400222222")).displayName(), QStringLiteral("Cole"));
            QCOMPARE(contacts.findContactByNumber(QStringLiteral("+447400999999")).displayName(), QStringLiteral("Cat"));
            const _ContactPerson bob = contacts.findContactByNumber(QStringLiteral("+12015550123"));
            QCOMPARE(bob.displayName(), QStringLiteral("Bob Q Smith"));
            QCOMPARE(bob.photo, QByteArray("new\0png", 7));
            const _ContactPerson nobody = contacts.findContactByNumber(QStringLiteral("+447400000000"));
            QCOMPARE(nobody.displayName(), QString());
            QVERIFY(nobody.photo.isEmpty());
        }
        const QString cache = QDir(work.path()).filePath("ct-phone.db");
        QCOMPARE(sqliteCli(cache, "select count(*) from tel where number='+447400123456';"
                                  "select count(*) from tel; select count(*) from person where photo is null"),
                 QByteArray("1\n4\n3"));
        QCOMPARE(QFileInfo(cache).lastModified().toSecsSinceEpoch(), bookTime + 60);
        QCOMPARE(QDir(work.path()).entryList(QDir::Files), QStringList{"ct-phone.db"});
    }

    void rebuildsOnlyWhenTheSourceIsNewer_data()
    {
        QTest::addColumn<QVariant>("walTime");
        QTest::addColumn<QVariant>("cacheTime");
        QTest::addColumn<bool>("rebuilt");
        QTest::newRow("no cache") << none << none << true;
        QTest::newRow("cache older") << none << QVariant(bookTime - 1) << true;
        QTest::newRow("cache of the same time") << none << QVariant(bookTime) << false;
        QTest::newRow("cache newer") << none << QVariant(bookTime + 1) << false;
        QTest::newRow("log newer than the cache, book older")
            << QVariant(bookTime + 20) << QVariant(bookTime + 10) << true;
        QTest::newRow("log of the cache's time") << QVariant(bookTime + 10) << QVariant(bookTime + 10) << false;
    }
    void rebuildsOnlyWhenTheSourceIsNewer()
    {
        QFETCH(QVariant, walTime);
        QFETCH(QVariant, cacheTime);
        QFETCH(bool, rebuilt);
        QTemporaryDir work;
        makeAddressBook(work.path(), walTime, cacheTime);
        if (rebuilt)
            QTest::ignoreMessage(QtDebugMsg, "rebuild IOSContactsMemDb.");
        IOSContactsMemDb contacts(QDir(work.path()), QStringLiteral("234"));
        QCOMPARE(contacts.findContactByNumber(QStringLiteral("+447400123456")).first,
                 rebuilt ? QStringLiteral("Ann") : QStringLiteral("Stale"));
    }

    void withoutAddressBookNothingOpens()
    {
        QTemporaryDir work;
        IOSContactsMemDb contacts(QDir(work.path()), QStringLiteral("234"));
        contacts.initDb();
        QVERIFY(!contacts.isOpen());
        QVERIFY_THROWS_EXCEPTION(std::exception, contacts.findContactByNumber(QStringLiteral("+447400123456")));
        QVERIFY(QDir(work.path()).isEmpty());
    }

    // A cache cut short must not look current, or the names would be lost until the
    // address book changes.
    void failedRebuildLeavesNoCurrentCache_data()
    {
        QTest::addColumn<QVariant>("cacheTime");
        QTest::newRow("no cache before") << none;
        QTest::newRow("older cache before") << QVariant(bookTime - 1);
    }
    void failedRebuildLeavesNoCurrentCache()
    {
        QFETCH(QVariant, cacheTime);
        QTemporaryDir work;
        makeAddressBook(work.path(), none, cacheTime, false);
        const QStringList filesBefore = QDir(work.path()).entryList(QDir::Files);
        {
            QTest::ignoreMessage(QtDebugMsg, "rebuild IOSContactsMemDb.");
            IOSContactsMemDb contacts(QDir(work.path()), QStringLiteral("234"));
            QVERIFY_THROWS_EXCEPTION(std::exception, contacts.initDb());
            QVERIFY(!contacts.isOpen());
        }
        QCOMPARE(QDir(work.path()).entryList(QDir::Files), filesBefore);
        const QString cache = QDir(work.path()).filePath("ct-phone.db");
        QCOMPARE(fileMTime(cache), cacheTime.isNull() ? 0 : cacheTime.toLongLong());

        // Once the address book is whole again, the next object rebuilds.
        const QString book = QDir(work.path()).filePath("file-relay/var/mobile/Library/AddressBook/AddressBook.sqlitedb");
        QCOMPARE(sqliteCli(book, "create table ABMultiValue(record_id INTEGER, property INTEGER, value TEXT);"
                                 "insert into ABMultiValue values(1, 3, '07400123456');"),
                 QByteArray());
        python("import os, sys; os.utime(sys.argv[1], (1600000000, 1600000000))", {book});
        QTest::ignoreMessage(QtDebugMsg, "rebuild IOSContactsMemDb.");
        IOSContactsMemDb contacts(QDir(work.path()), QStringLiteral("234"));
        QCOMPARE(contacts.findContactByNumber(QStringLiteral("+447400123456")).first, QStringLiteral("Ann"));
    }

    void msgtoolContacts()
    {
        QTemporaryDir work;
        makeAddressBook(work.path(), none, none);
        const CliResult result = msgtool({"contacts", work.path(), "--country", "GB", "+447400123456",
                                          "07400 222222", "+15550000000"});
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(QJsonDocument::fromJson(result.out).object(),
                 (QJsonObject{{"+447400123456", "Ann"}, {"07400 222222", "Cole"}, {"+15550000000", ""}}));
    }
};

QTEST_GUILESS_MAIN(TestIOSContactsMemDb)
#include "TestIOSContactsMemDb.moc"
