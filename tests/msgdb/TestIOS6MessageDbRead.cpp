#include "msgdb/DeviceFixture.h"
#include "msgdb/ExportMessagesDb.h"
#include "msgdb/IOS6MessageDb.h"
#include "model/SafeSort.h"
#include "model/SortPredicates.h"
#include "support/Cli.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

_MsgMessage* messageByGuid(const MsgSetPtr& set, const QString& guid)
{
    for (_MsgMessage* m : set.data()->messages) {
        if (m->guid == guid)
            return m;
    }
    return nullptr;
}

QStringList guidsOf(const QHash<QString, _MsgMessage*>& messages)
{
    QStringList guids;
    for (const _MsgMessage* m : messages)
        guids << m->guid;
    guids.sort();
    return guids;
}

// A local database (our schema) holding the rows of the script.
bool makeLocalDb(const QString& folder, const QString& rows)
{
    IOS6MessageDb db{QDir(folder), QString(), true};
    db.initDb();
    db.close();
    return runCli("sqlite3", {smsDbPathIn(folder), rows}).exitCode == 0;
}

} // namespace

class TestIOS6MessageDbRead : public QObject
{
    Q_OBJECT

private slots:
    // Later phones store nanoseconds since 2001; a file of each unit reads the same dates,
    // and a message written into a file takes the unit of the file's rows.
    void datesOfEitherUnit_data()
    {
        QTest::addColumn<bool>("nanoseconds");
        QTest::newRow("seconds, iOS 6 to 10") << false;
        QTest::newRow("nanoseconds, iOS 11 and later") << true;
    }
    void datesOfEitherUnit()
    {
        QFETCH(bool, nanoseconds);
        QTemporaryDir dir;
        const QString path = smsDbPathIn(dir.path());
        QStringList options{QStringLiteral("--later")};
        if (nanoseconds)
            options << QStringLiteral("--nanoseconds");
        QVERIFY(makeDeviceDb(path, options));
        MsgSetPtr set;
        {
            IOS6MessageDb db(QDir(dir.path()), QString(), false);
            db.messages(set, 0);
        }
        const _MsgMessage* third = messageByGuid(set, "MSG-GUID-0003");
        QCOMPARE(third->date, 400000180);
        QCOMPARE(third->date_read, 400000185);
        QList<_MsgChat*> chats = set.chats();
        safeSort(chats, chatNewerFirst);
        QCOMPARE(chats.first()->lastDate, 400000660);
        QCOMPARE(chats.first()->rowid, 2);
        QList<_MsgMessage*> messages = set.messages();
        safeSort(messages, messageLessThan);
        QStringList order;
        for (const _MsgMessage* m : std::as_const(messages))
            order << m->guid;
        QCOMPARE(order, (QStringList{"MSG-GUID-0001", "MSG-GUID-0002", "MSG-GUID-0003", "MSG-GUID-0004",
                                     "MSG-GUID-0005", "MSG-GUID-0006", "MSG-GUID-0007", "MSG-GUID-0008",
                                     "MSG-GUID-0009", "MSG-GUID-0011"}));

        _MsgMessage written = *third;
        written.guid = QStringLiteral("WRITTEN-GUID");
        written.text = QStringLiteral("written later");
        written.date = written.date_read = written.date_delivered = 400001000;
        ExportMessagesDb exporter{QDir(dir.path()), QString()};
        exporter.begin();
        exporter.write(written);
        exporter.end();
        const qint64 unit = nanoseconds ? 1000000000 : 1;
        QCOMPARE(sqliteCli(path, "select date from message where guid = 'WRITTEN-GUID'"),
                 QByteArray::number(400001000 * unit));
        MsgSetPtr again;
        IOS6MessageDb db(QDir(dir.path()), QString(), false);
        db.messages(again, 0);
        QCOMPARE(messageByGuid(again, "WRITTEN-GUID")->date, 400001000);
    }

    void deviceFileReadsEveryChatHandleAndMessage()
    {
        QTemporaryDir dir;
        QVERIFY(makeDeviceDb(smsDbPathIn(dir.path())));
        IOS6MessageDb db(QDir(dir.path()), QString(), false);
        MsgSetPtr set;
        db.messages(set, 0);

        QCOMPARE(set.data()->chats.size(), 3);
        QCOMPARE(set.data()->handles.size(), 3);
        QCOMPARE(set.data()->messages.size(), 8);
        const _MsgChat* group = set.data()->chats.value(2);
        QVERIFY(group->isGroupChat());
        QCOMPARE(group->display_name, QString::fromUtf8("Team ✓"));
        QCOMPARE(group->handles.value("3")->id, "friend@example.com");
        QCOMPARE(guidsOf(group->messages), QStringList({"MSG-GUID-0005", "MSG-GUID-0006", "MSG-GUID-0007"}));
        // Without _last, a chat's date is its newest message's.
        QCOMPARE(set.data()->chats.value(1)->lastDate, 400000240);
        QCOMPARE(group->lastDate, 400000420);

        const _MsgMessage* emoji = messageByGuid(set, "MSG-GUID-0002");
        QCOMPARE(emoji->text, QString::fromUtf8("Party 😀 tonight 🎉"));
        QCOMPARE(emoji->seq, 2);
        QCOMPARE(emoji->handle, set.data()->handles.value(1));
        QCOMPARE(emoji->country, "us"); // taken from the handle
        QCOMPARE(emoji->chat, set.data()->chats.value(1));
        QCOMPARE(emoji->other_handle, 0); // the column is missing
        QVERIFY(messageByGuid(set, "MSG-GUID-0004")->text.size() > 4096);
        QCOMPARE(messageByGuid(set, "MSG-GUID-0007")->handle, nullptr);
        QVERIFY(messageByGuid(set, "MSG-GUID-0006")->attachments.isEmpty());
    }

    void keyChoosesTheChats_data()
    {
        QTest::addColumn<qint64>("chatKey");
        QTest::addColumn<int>("messages");
        QTest::newRow("0 loads every chat") << qint64(0) << 10;
        QTest::newRow("-1 loads every chat") << qint64(-1) << 10;
        QTest::newRow("a chat row id loads that chat") << qint64(2) << 5;
    }
    void keyChoosesTheChats()
    {
        QFETCH(qint64, chatKey);
        QFETCH(int, messages);
        QTemporaryDir dir;
        QVERIFY(makeDeviceDb(smsDbPathIn(dir.path()), {"--later"}));
        IOS6MessageDb db(QDir(dir.path()), QString(), false);
        MsgSetPtr set;
        db.messages(set, chatKey);
        QCOMPARE(set.data()->messages.size(), messages);
        // Location sharing (item_type 4) is never loaded where the column exists.
        QVERIFY(!messageByGuid(set, "MSG-GUID-0010"));
        const _MsgMessage* added = messageByGuid(set, "MSG-GUID-0009");
        QCOMPARE(added->item_type, 1);
        QCOMPARE(added->otherHandle, set.data()->handles.value(3));
    }

    void repeatedReadsOnlyAdd()
    {
        QTemporaryDir dir;
        QVERIFY(makeDeviceDb(smsDbPathIn(dir.path())));
        IOS6MessageDb db(QDir(dir.path()), QString(), false);
        MsgSetPtr set;
        db.messages(set, 1);
        _MsgMessage* first = messageByGuid(set, "MSG-GUID-0001");
        _MsgChat* chat = set.data()->chats.value(1);
        _MsgHandle* handle = set.data()->handles.value(1);
        first->text = QStringLiteral("changed in memory");
        chat->messages.clear();

        db.messages(set, 0);
        db.messages(set, 0);
        QCOMPARE(set.data()->messages.size(), 8);
        QCOMPARE(set.data()->chats.size(), 3);
        QCOMPARE(set.data()->handles.size(), 3);
        QCOMPARE(messageByGuid(set, "MSG-GUID-0001"), first);
        QCOMPARE(first->text, "changed in memory");
        QCOMPARE(set.data()->chats.value(1), chat);
        QCOMPARE(set.data()->handles.value(1), handle);
        // Not read again, but filed into its chat again.
        QCOMPARE(chat->messages.value("1"), first);
        QCOMPARE(chat->handles.size(), 1);
    }

    // A date no record can hold, in any date column and either unit, leaves its message
    // out, counted once however often the file is read; the last second held is kept.
    void datesBeyondRecordsLeaveTheMessageOut()
    {
        QTemporaryDir dir;
        const QString path = smsDbPathIn(dir.path());
        QVERIFY(makeDeviceDb(path, {QStringLiteral("--later")}));
        QCOMPARE(sqliteCli(path, "update message set date = 2177452800 where rowid = 1;"
                                 "update message set date_read = 3124137600 where rowid = 2;"
                                 "update message set date = 3124137600000000000 where rowid = 3;"
                                 "update message set date_played = 2147483648 where rowid = 5;"
                                 "update message set date = 2147483647 where rowid = 4;"
                                 "update message set date = -978307201 where rowid = 6;"
                                 "select changes()"),
                 QByteArray("1"));
        IOS6MessageDb db(QDir(dir.path()), QString(), false);
        MsgSetPtr set;
        db.messages(set, 0);
        db.messages(set, 1);
        QCOMPARE(set.data()->undatableMessages, (QSet<qint64>{1, 2, 3, 5}));
        for (const char* guid : {"MSG-GUID-0001", "MSG-GUID-0002", "MSG-GUID-0003", "MSG-GUID-0005"})
            QVERIFY2(!messageByGuid(set, guid), guid);
        QCOMPARE(messageByGuid(set, "MSG-GUID-0004")->date, 2147483647);
        QCOMPARE(messageByGuid(set, "MSG-GUID-0006")->date, -978307201);
        QCOMPARE(set.data()->messages.size(), 6);
    }

    void localFileKeepsStoredValues()
    {
        QTemporaryDir dir;
        QVERIFY(makeLocalDb(dir.path(),
                            "INSERT INTO handle(ROWID, id, country, service, _ct_name) VALUES "
                            "(1, '(415) 555-0103', 'us', 'SMS', 'Stored Name'), (2, '07712 345678', '', 'SMS', NULL), "
                            "(3, 'Friend@Example.COM', NULL, 'iMessage', NULL), (4, 'unjoined', 'us', 'SMS', NULL);"
                            "INSERT INTO chat(ROWID, guid, chat_identifier, _last) VALUES (1, 'c1', 'a', 7), (2, 'c2', 'b', 0);"
                            "INSERT INTO chat_handle_join VALUES (1, 1), (2, 2), (2, 3), (99, 3);"
                            "INSERT INTO message(ROWID, guid, handle_id, date, item_type) VALUES "
                            "(1, 'm1', 1, 500, 0), (2, 'm2', 2, 600, 0), (3, 'm3', 4, 700, 0), (4, 'm4', 1, 800, 4);"
                            "INSERT INTO chat_message_join VALUES (1, 1), (2, 2), (1, 2), (99, 3), (1, 4);"));
        // No address book below the folder: nothing to warn about.
        QTest::failOnWarning(QRegularExpression(".*"));
        IOS6MessageDb db(QDir(dir.path()), QStringLiteral("234"), false);
        MsgSetPtr set;
        db.messages(set, 0);

        const QHash<qint64, _MsgChat*>& chats = set.data()->chats;
        QCOMPARE(chats.value(1)->lastDate, 7);
        QCOMPARE(chats.value(2)->lastDate, 0);

        const QHash<qint64, _MsgHandle*>& handles = set.data()->handles;
        QCOMPARE(handles.size(), 3); // only handles joined to a chat
        QCOMPARE(handles.value(1)->id, "+14155550103");
        QCOMPARE(handles.value(1)->country, "us");
        QCOMPARE(handles.value(1)->_ct_name, "Stored Name");
        QCOMPARE(handles.value(2)->id, "+447712345678");
        QCOMPARE(handles.value(2)->country, "gb");
        QCOMPARE(handles.value(3)->id, "friend@example.com");

        QCOMPARE(set.data()->messages.size(), 3);
        const _MsgMessage* twice = set.data()->messages.value(2);
        QCOMPARE(chats.value(1)->messages.value("2"), twice);
        QCOMPARE(chats.value(2)->messages.value("2"), twice);
        const _MsgMessage* orphan = set.data()->messages.value(3);
        QCOMPARE(orphan->chat, nullptr);
        QCOMPARE(orphan->handle, nullptr);
    }

    void contactNamesComeFromTheAddressBook()
    {
        QTemporaryDir dir;
        QVERIFY(makeDeviceDb(smsDbPathIn(dir.path())));
        const QString book = dir.filePath("file-relay/var/mobile/Library/AddressBook/AddressBook.sqlitedb");
        QDir().mkpath(QFileInfo(book).absolutePath());
        const CliResult made = python(
            "import sqlite3, sys\n"
            "db = sqlite3.connect(sys.argv[1])\n"
            "db.executescript(\"CREATE TABLE ABPerson(ROWID INTEGER PRIMARY KEY, first TEXT, last TEXT, middle TEXT);"
            "CREATE TABLE ABMultiValue(UID INTEGER PRIMARY KEY, record_id INTEGER, property INTEGER, value TEXT);"
            "INSERT INTO ABPerson VALUES (1, 'Ann', 'Lee', NULL);"
            "INSERT INTO ABMultiValue(record_id, property, value) VALUES (1, 3, '+1 (415) 555-0101');\")\n"
            "db.close()",
            {book});
        QCOMPARE(made.exitCode, 0);

        IOS6MessageDb db(QDir(dir.path()), QStringLiteral("310"), false);
        MsgSetPtr set;
        db.chats(set);
        QCOMPARE(set.data()->handles.value(1)->_ct_name, "Ann Lee");
        QCOMPARE(set.data()->handles.value(2)->_ct_name, QString());
    }
};

QTEST_GUILESS_MAIN(TestIOS6MessageDbRead)
#include "TestIOS6MessageDbRead.moc"
