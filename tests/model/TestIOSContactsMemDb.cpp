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
        QCOMPARE(QDir(work.path()).entryList(QDir::Files), QStringList{"ct-phone.db"});
    }

    // Times cannot tell whether the cache is of the address book it lies beside: a copy
    // keeps its record's whole second, and an older address book can come back.
    void rebuildsWhenItsSourcesDiffer_data()
    {
        QTest::addColumn<QString>("change"); // python, with the address book folder as root
        QTest::addColumn<QString>("first");  // Ann's name afterwards; "Noted" when not rebuilt
        const QString rename = "c = sqlite3.connect(root + '/AddressBook.sqlitedb');"
                               "c.execute(\"update ABPerson set First = 'Anne' where ROWID = 1\"); c.commit(); c.close();";
        const QString setTime = "os.utime(root + '/AddressBook.sqlitedb', (%1, %1))";
        QTest::newRow("nothing changed") << QString() << "Noted";
        QTest::newRow("a name, within the book's second") << rename + setTime.arg(bookTime) << "Anne";
        QTest::newRow("a name, in an older address book") << rename + setTime.arg(bookTime - 100) << "Anne";
        QTest::newRow("a picture") << "c = sqlite3.connect(root + '/AddressBookImages.sqlitedb');"
                                      "c.execute(\"update ABThumbnailImage set data = x'00'\"); c.commit(); c.close()"
                                   << "Ann";
    }
    void rebuildsWhenItsSourcesDiffer()
    {
        QFETCH(QString, change);
        QFETCH(QString, first);
        QTemporaryDir work;
        makeAddressBook(work.path(), none, none);
        QTest::ignoreMessage(QtDebugMsg, "rebuild IOSContactsMemDb.");
        IOSContactsMemDb(QDir(work.path()), QStringLiteral("234")).initDb();
        // What the cache says shows whether it was built again.
        sqliteCli(QDir(work.path()).filePath("ct-phone.db"), "update person set first = 'Noted' where rowid = 1");
        if (!change.isEmpty()) {
            const QString root = QDir(work.path()).filePath("file-relay/var/mobile/Library/AddressBook");
            const CliResult changed = python("import os, sqlite3, sys; root = sys.argv[1]; " + change, {root});
            QVERIFY2(changed.exitCode == 0, changed.err.constData());
            QTest::ignoreMessage(QtDebugMsg, "rebuild IOSContactsMemDb.");
        }
        IOSContactsMemDb contacts(QDir(work.path()), QStringLiteral("234"));
        QCOMPARE(contacts.findContactByNumber(QStringLiteral("+447400123456")).first, first);
    }

    // A cache that noted no source, as older versions wrote it, is built again.
    void cacheWithoutNotedSourceIsRebuilt()
    {
        QTemporaryDir work;
        makeAddressBook(work.path(), none, QVariant(bookTime + 1));
        QTest::ignoreMessage(QtDebugMsg, "rebuild IOSContactsMemDb.");
        IOSContactsMemDb contacts(QDir(work.path()), QStringLiteral("234"));
        QCOMPARE(contacts.findContactByNumber(QStringLiteral("+447400123456")).first, QStringLiteral("Ann"));
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
        QTest::newRow("a cache before") << QVariant(bookTime - 1);
    }
    void failedRebuildLeavesNoCurrentCache()
    {
        QFETCH(QVariant, cacheTime);
        QTemporaryDir work;
        makeAddressBook(work.path(), none, cacheTime, false);
        const QStringList filesBefore = QDir(work.path()).entryList(QDir::Files);
        const QString cache = QDir(work.path()).filePath("ct-phone.db");
        auto cacheRows = [&] { return QFileInfo::exists(cache) ? sqliteCli(cache, "select * from person") : "none"; };
        const QByteArray cacheBefore = cacheRows();
        {
            QTest::ignoreMessage(QtDebugMsg, "rebuild IOSContactsMemDb.");
            IOSContactsMemDb contacts(QDir(work.path()), QStringLiteral("234"));
            QVERIFY_THROWS_EXCEPTION(std::exception, contacts.initDb());
            QVERIFY(!contacts.isOpen());
        }
        QCOMPARE(QDir(work.path()).entryList(QDir::Files), filesBefore);
        QCOMPARE(cacheRows(), cacheBefore);

        // Once the address book is whole again, the next object rebuilds.
        const QString book = QDir(work.path()).filePath("file-relay/var/mobile/Library/AddressBook/AddressBook.sqlitedb");
        QCOMPARE(sqliteCli(book, "create table ABMultiValue(record_id INTEGER, property INTEGER, value TEXT);"
                                 "insert into ABMultiValue values(1, 3, '07400123456');"),
                 QByteArray());
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
