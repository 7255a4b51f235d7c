#include "msgdb/IOS5MessageDb.h"

#include "model/MsgSetPtr.h"
#include "support/Cli.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

// The generator (tests/fixtures/msgdb/ios5_smsdb.py) writes SMS dates as Unix seconds from
// 2012-01-01 12:00 UTC on, and iMessage dates as seconds since 2001 from 347200000 on.
namespace {

constexpr qint32 smsBase = 1325419200 - 978307200;
constexpr qint32 imsgBase = 347200000;
const QString accountGuid = QStringLiteral("7C1D0A4E-2F3B-4C5D-9E8F-0A1B2C3D4E5F");
const QString groupRoom = QStringLiteral("chat908172635445362718");
const QString usMcc = QStringLiteral("310");

QString fixture(const QString& name)
{
    return QStringLiteral(FIXTURES_DIR "/msgdb/") + name;
}

QString smsDbPath(const QTemporaryDir& dir)
{
    return dir.filePath(QStringLiteral("file-relay/var/mobile/Library/SMS/sms.db"));
}

bool buildIos5File(const QString& path, const QStringList& options = {})
{
    const CliResult result =
        runCli(QStringLiteral("python3"), QStringList{fixture(QStringLiteral("ios5_smsdb.py")), path} + options);
    if (result.exitCode != 0)
        qWarning("%s", result.err.constData());
    return result.exitCode == 0;
}

bool copyInto(const QString& file, const QTemporaryDir& dir)
{
    const QString target = smsDbPath(dir);
    QFile::remove(target);
    return QDir().mkpath(QFileInfo(target).path()) && QFile::copy(file, target);
}

// Group identity of a conversation whose first member has this id, computed apart from our code.
QJsonObject groupIdentity(const QString& firstMemberId)
{
    const CliResult result = runCli(QStringLiteral("python3"),
                                    {fixture(QStringLiteral("group_chat_identity.py")), firstMemberId});
    return QJsonDocument::fromJson(result.out).object();
}

QString addressBookPath(const QTemporaryDir& dir)
{
    return dir.filePath(QStringLiteral("file-relay/var/mobile/Library/AddressBook/AddressBook.sqlitedb"));
}

// One person, Ann Lee, whose phone number is written in national form.
bool buildAddressBook(const QTemporaryDir& dir)
{
    const CliResult result = python(QStringLiteral(R"py(
import os, sqlite3, sys
os.makedirs(os.path.dirname(sys.argv[1]), exist_ok=True)
c = sqlite3.connect(sys.argv[1])
c.execute("create table ABPerson(ROWID INTEGER PRIMARY KEY, First TEXT, Last TEXT, Middle TEXT)")
c.execute("create table ABMultiValue(UID INTEGER PRIMARY KEY, record_id INTEGER, property INTEGER, value TEXT)")
c.execute("insert into ABPerson values(1, 'Ann', 'Lee', NULL)")
c.execute("insert into ABMultiValue(record_id, property, value) values(1, 3, '(415) 555-0101')")
c.commit()
)py"),
                                    {addressBookPath(dir)});
    return result.exitCode == 0;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

QStringList handleIds(const _MsgChat& chat)
{
    QStringList ids;
    for (const _MsgHandle* handle : chat.handles)
        ids << handle->id;
    return sorted(ids);
}

QList<qint64> sortedKeys(QList<qint64> keys)
{
    std::sort(keys.begin(), keys.end());
    return keys;
}

} // namespace

class TestIOS5MessageDb : public QObject
{
    Q_OBJECT

private:
    // The generated files, built once; every test function gets a fresh folder with a copy.
    QTemporaryDir generated;
    QString withMadridChat;
    QString withoutMadridChat;
    std::unique_ptr<QTemporaryDir> folder;

private slots:
    void initTestCase()
    {
        withMadridChat = generated.filePath(QStringLiteral("full.db"));
        withoutMadridChat = generated.filePath(QStringLiteral("no-madrid-chat.db"));
        QVERIFY(buildIos5File(withMadridChat));
        QVERIFY(buildIos5File(withoutMadridChat, {QStringLiteral("--without-madrid-chat")}));
    }

    void init()
    {
        folder = std::make_unique<QTemporaryDir>();
        QVERIFY(folder->isValid());
        QVERIFY(copyInto(withMadridChat, *folder));
    }

    void cleanup() { folder.reset(); }

    void smsConversations_data()
    {
        QTest::addColumn<qint64>("key");
        QTest::addColumn<QString>("firstMember");
        QTest::addColumn<QString>("guid");
        QTest::addColumn<QString>("identifier");
        QTest::addColumn<QStringList>("handles");
        QTest::addColumn<qint32>("lastDate");

        QTest::newRow("no member: the hash with its sign")
            << qint64(1) << QString() << "SMS;-;-1234567" << "unknown" << QStringList() << smsBase + 10;
        QTest::newRow("one member")
            << qint64(2) << QString() << "SMS;-;+14155552671" << "+14155552671" << QStringList{"+14155552671"}
            << smsBase + 30;
        QTest::newRow("two members") << qint64(3) << "+447400123456" << QString() << QString()
                                     << QStringList{"+447400123456", "+447400654321"} << smsBase + 50;
        QTest::newRow("three members")
            << qint64(4) << "+14155550101" << QString() << QString()
            << QStringList{"+14155550101", "+14155550102", "+14155550103"} << smsBase + 60;
        QTest::newRow("one member listed twice")
            << qint64(5) << QString() << "SMS;-;+14155550199" << "+14155550199" << QStringList{"+14155550199"}
            << smsBase + 70;
    }
    void smsConversations()
    {
        QFETCH(qint64, key);
        QFETCH(QString, firstMember);
        QFETCH(QString, guid);
        QFETCH(QString, identifier);
        QFETCH(QStringList, handles);
        QFETCH(qint32, lastDate);

        IOS5MessageDb db(QDir(folder->path()), usMcc);
        MsgSetPtr set;
        db.chats(set);
        const _MsgChat* chat = set.data()->chats.value(key);
        QVERIFY(chat);
        QCOMPARE(chat->rowid, key);
        QCOMPARE(handleIds(*chat), handles);
        QCOMPARE(chat->lastDate, lastDate);
        QCOMPARE(chat->service_name, QStringLiteral("SMS"));
        QCOMPARE(chat->account_login, QStringLiteral("E:"));
        QCOMPARE(chat->state, 3);
        if (firstMember.isEmpty()) {
            QCOMPARE(chat->guid, guid);
            QCOMPARE(chat->chat_identifier, identifier);
            QCOMPARE(chat->style, 45);
            QCOMPARE(chat->room_name, QString());
            QCOMPARE(chat->account_id, QString());
        } else {
            const QJsonObject expected = groupIdentity(firstMember);
            QVERIFY(!expected.isEmpty());
            QCOMPARE(chat->guid, expected["guid"].toString());
            QCOMPARE(chat->chat_identifier, expected["chat_identifier"].toString());
            QCOMPARE(chat->room_name, expected["room_name"].toString());
            QCOMPARE(chat->account_id, expected["account_id"].toString());
            QCOMPARE(chat->style, 43);
            QVERIFY(chat->isGroupChat());
        }
    }

    void iMessageChats_data()
    {
        QTest::addColumn<qint64>("key");
        QTest::addColumn<QString>("guid");
        QTest::addColumn<QString>("identifier");
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("login");
        QTest::addColumn<QStringList>("handles");
        QTest::addColumn<qint32>("lastDate");

        QTest::newRow("one participant in a binary list")
            << qint64(-1) << "iMessage;-;+14155552671" << "+14155552671" << 45 << 3 << "E:me@example.com"
            << QStringList{"+14155552671"} << imsgBase + 110;
        QTest::newRow("three participants in an XML list, one in national form")
            << qint64(-2) << "iMessage;+;" + groupRoom << groupRoom << 43 << 3 << "E:me@example.com"
            << QStringList{"+14155550101", "+14155550102", "friend@example.com"} << imsgBase + 130;
        QTest::newRow("mail address in capitals")
            << qint64(-3) << "iMessage;-;friend@example.com" << "friend@example.com" << 45 << 3
            << "E:me@example.com" << QStringList{"friend@example.com"} << imsgBase + 140;
        QTest::newRow("empty participant list; the handle pass wins over the room pass")
            << qint64(-4) << "iMessage;-;+447700900999" << "+447700900999" << 45 << 2 << "P:+447700900000"
            << QStringList() << imsgBase + 150;
        QTest::newRow("participant list that is no array, no message")
            << qint64(-5) << "iMessage;-;+447700900888" << "+447700900888" << 45 << 3 << "P:+447700900000"
            << QStringList() << 0;
    }
    void iMessageChats()
    {
        QFETCH(qint64, key);
        QFETCH(QString, guid);
        QFETCH(QString, identifier);
        QFETCH(int, style);
        QFETCH(int, state);
        QFETCH(QString, login);
        QFETCH(QStringList, handles);
        QFETCH(qint32, lastDate);

        IOS5MessageDb db(QDir(folder->path()), usMcc);
        MsgSetPtr set;
        db.chats(set);
        const _MsgChat* chat = set.data()->chats.value(key);
        QVERIFY(chat);
        QCOMPARE(chat->rowid, key);
        QCOMPARE(chat->guid, guid);
        QCOMPARE(chat->chat_identifier, identifier);
        QCOMPARE(chat->style, style);
        QCOMPARE(chat->state, state);
        QCOMPARE(chat->service_name, QStringLiteral("iMessage"));
        QCOMPARE(chat->account_login, login);
        QCOMPARE(chat->account_id, accountGuid);
        QCOMPARE(chat->room_name, QString());
        QCOMPARE(handleIds(*chat), handles);
        QCOMPARE(chat->lastDate, lastDate);
        for (const _MsgHandle* handle : chat->handles) {
            QVERIFY(handle->rowid < 0);
            QCOMPARE(handle->service, QStringLiteral("iMessage"));
            QCOMPARE(handle->country, QString());
        }
    }

    // Member handles keep their group_member row ids, including both rows of the member
    // listed twice; group 6 lost its newest message and has no chat, so its member is not
    // read; participants get -(handles in the set + 1) in turn.
    void keysOfChatsAndHandles()
    {
        IOS5MessageDb db(QDir(folder->path()), usMcc);
        MsgSetPtr set;
        db.chats(set);
        QCOMPARE(sortedKeys(set.data()->chats.keys()), (QList<qint64>{-5, -4, -3, -2, -1, 1, 2, 3, 4, 5}));
        QCOMPARE(sortedKeys(set.data()->handles.keys()),
                 (QList<qint64>{-13, -12, -11, -10, -9, 1, 2, 3, 4, 5, 6, 7, 8}));
        QCOMPARE(set.data()->handles.value(-9)->id, QStringLiteral("+14155552671"));
        QCOMPARE(set.data()->handles.value(3)->country, QStringLiteral("gb"));
        QCOMPARE(set.data()->handles.value(8)->id, QStringLiteral("+14155550199"));
    }

    void contactNamesOnMembersAndParticipants()
    {
        QVERIFY(buildAddressBook(*folder));
        IOS5MessageDb db(QDir(folder->path()), usMcc);
        MsgSetPtr set;
        db.chats(set);
        const _MsgHandle* member = set.data()->chats.value(4)->handles.value(QStringLiteral("+14155550101"));
        const _MsgHandle* participant = set.data()->chats.value(-2)->handles.value(QStringLiteral("+14155550101"));
        QVERIFY(member && participant);
        QCOMPARE(member->_ct_name, QStringLiteral("Ann Lee"));
        QCOMPARE(participant->_ct_name, QStringLiteral("Ann Lee"));
        QCOMPARE(set.data()->handles.value(5)->_ct_name, QString());
    }

    void unreadableAddressBookFailsChats()
    {
        const QString book = addressBookPath(*folder);
        QVERIFY(QDir().mkpath(QFileInfo(book).path()));
        QFile garbage(book);
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write(QByteArray(4096, 'x'));
        garbage.close();

        IOS5MessageDb db(QDir(folder->path()), usMcc);
        MsgSetPtr set;
        QVERIFY_THROWS_EXCEPTION(std::exception, db.chats(set));
    }

    void withoutMadridChatTable()
    {
        QVERIFY(copyInto(withoutMadridChat, *folder));
        IOS5MessageDb db(QDir(folder->path()), usMcc);
        MsgSetPtr set;
        db.messages(set, 0);
        QCOMPARE(sortedKeys(set.data()->chats.keys()), (QList<qint64>{1, 2, 3, 4, 5}));
        QCOMPARE(set.data()->messages.size(), 16);
        // With no iMessage chat, the conversation of the same correspondent takes its iMessages.
        QCOMPARE(set.data()->messages.value(10)->chat, set.data()->chats.value(2));
        QCOMPARE(set.data()->messages.value(12)->chat, nullptr);
    }

    // Each of eight correspondents has an SMS conversation and an iMessage chat under one
    // identifier: whatever order the set's hashes take, iMessage rows go to the iMessage chat.
    void correspondentsWithBothKindsOfChat()
    {
        QVERIFY(buildIos5File(smsDbPath(*folder), {QStringLiteral("--shared-correspondents")}));
        IOS5MessageDb db(QDir(folder->path()), usMcc);
        MsgSetPtr set;
        db.messages(set, 0);
        for (qint64 i = 0; i < 8; ++i) {
            QCOMPARE(set.data()->chats.value(20 + i)->chat_identifier, set.data()->chats.value(-20 - i)->chat_identifier);
            QCOMPARE(set.data()->messages.value(100 + i)->chat, set.data()->chats.value(20 + i));
            QCOMPARE(set.data()->messages.value(200 + i)->chat, set.data()->chats.value(-20 - i));
        }
    }

    void messagesOfOneChat_data()
    {
        QTest::addColumn<qint64>("key");
        QTest::addColumn<QList<qint64>>("rowids");
        QTest::newRow("every chat") << qint64(0)
                                    << QList<qint64>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
        QTest::newRow("SMS conversation") << qint64(2) << QList<qint64>{2, 3};
        QTest::newRow("group without chat, by group_id") << qint64(6) << QList<qint64>{8};
        QTest::newRow("iMessage chat by handle") << qint64(-1) << QList<qint64>{10, 11};
        QTest::newRow("iMessage chat by room") << qint64(-2) << QList<qint64>{12, 13};
        QTest::newRow("room or handle equal to the identifier") << qint64(-4) << QList<qint64>{15, 16};
    }
    void messagesOfOneChat()
    {
        QFETCH(qint64, key);
        QFETCH(QList<qint64>, rowids);
        IOS5MessageDb db(QDir(folder->path()), usMcc);
        MsgSetPtr set;
        db.messages(set, key);
        QCOMPARE(sortedKeys(set.data()->messages.keys()), rowids);
        QCOMPARE(set.data()->chats.size(), 10);
    }

    void chatDirectionAndHandleOfMessages_data()
    {
        QTest::addColumn<qint64>("rowid");
        QTest::addColumn<qint64>("chat");
        QTest::addColumn<QString>("handle");
        QTest::addColumn<int>("fromMe");
        QTest::addColumn<qint32>("date");

        QTest::newRow("SMS, no member") << qint64(1) << qint64(1) << QString() << 0 << smsBase + 10;
        QTest::newRow("SMS flags 3 is sent; one member is its handle")
            << qint64(2) << qint64(2) << "+14155552671" << 1 << smsBase + 20;
        QTest::newRow("SMS flags 0 is received") << qint64(3) << qint64(2) << "+14155552671" << 0 << smsBase + 30;
        QTest::newRow("SMS sent in a group has no handle") << qint64(4) << qint64(3) << QString() << 1 << smsBase + 40;
        QTest::newRow("SMS received in a group: the member by address")
            << qint64(5) << qint64(3) << "+447400654321" << 0 << smsBase + 50;
        QTest::newRow("SMS flags 33 is received") << qint64(6) << qint64(4) << "+14155550103" << 0 << smsBase + 60;
        QTest::newRow("SMS of a group without chat") << qint64(8) << qint64(0) << QString() << 0 << smsBase + 80;
        QTest::newRow("SMS of a missing group") << qint64(9) << qint64(0) << QString() << 0 << smsBase + 90;
        QTest::newRow("iMessage not delivered is received; iMessage chat before the SMS one")
            << qint64(10) << qint64(-1) << "+14155552671" << 0 << imsgBase + 100;
        QTest::newRow("iMessage delivered is sent") << qint64(11) << qint64(-1) << "+14155552671" << 1 << imsgBase + 110;
        QTest::newRow("iMessage received in a room: the participant by handle")
            << qint64(12) << qint64(-2) << "friend@example.com" << 0 << imsgBase + 120;
        QTest::newRow("iMessage sent in a room has no handle") << qint64(13) << qint64(-2) << QString() << 1 << imsgBase + 130;
        QTest::newRow("iMessage with an empty room goes by handle")
            << qint64(14) << qint64(-3) << "friend@example.com" << 0 << imsgBase + 140;
        QTest::newRow("iMessage in a chat without participants")
            << qint64(16) << qint64(-4) << QString() << 0 << imsgBase + 150;
    }
    void chatDirectionAndHandleOfMessages()
    {
        QFETCH(qint64, rowid);
        QFETCH(qint64, chat);
        QFETCH(QString, handle);
        QFETCH(int, fromMe);
        QFETCH(qint32, date);

        IOS5MessageDb db(QDir(folder->path()), usMcc);
        MsgSetPtr set;
        db.messages(set, 0);
        const _MsgMessage* message = set.data()->messages.value(rowid);
        QVERIFY(message);
        QCOMPARE(message->is_from_me, fromMe);
        QCOMPARE(message->date, date);
        QCOMPARE(message->chat, set.data()->chats.value(chat));
        if (message->chat)
            QCOMPARE(message->chat->messages.value(QString::number(rowid)), message);
        QCOMPARE(message->handle ? message->handle->id : QString(), handle);
    }

    void fieldsOfAnSmsRow()
    {
        IOS5MessageDb db(QDir(folder->path()), usMcc);
        MsgSetPtr set;
        db.messages(set, 3);
        const _MsgMessage* m = set.data()->messages.value(5);
        QVERIFY(m);
        QVERIFY(QRegularExpression("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$").match(m->guid).hasMatch());
        QCOMPARE(m->rowid, 5);
        QCOMPARE(m->seq, 5);
        QCOMPARE(m->text, QStringLiteral("from the second of two"));
        QCOMPARE(m->service_center, QStringLiteral("+15550000000"));
        QCOMPARE(m->subject, QStringLiteral("subject 5"));
        QCOMPARE(m->country, QStringLiteral("gb"));
        QCOMPARE(m->service, QStringLiteral("SMS"));
        QCOMPARE(m->account, QStringLiteral("e:"));
        QCOMPARE(m->account_guid, QString());
        QCOMPARE(m->error, 0);
        QCOMPARE(m->date_read, smsBase + 50);
        QCOMPARE(m->date_delivered, smsBase + 50);
        QCOMPARE(m->version, 10);
        QCOMPARE(m->is_finished + m->is_prepared + m->is_read + m->is_sent + m->was_data_detected, 5);
        QCOMPARE(m->is_delivered, 0);
        QVERIFY(m->attributedBody.isEmpty());
        QVERIFY(m->attachments.isEmpty());
    }

    void fieldsOfAnIMessageRow()
    {
        IOS5MessageDb db(QDir(folder->path()), usMcc);
        MsgSetPtr set;
        db.messages(set, -1);
        const _MsgMessage* m = set.data()->messages.value(11);
        QVERIFY(m);
        QCOMPARE(m->guid, QStringLiteral("0000000B-AAAA-BBBB-CCCC-DDDDEEEEFFFF"));
        QCOMPARE(m->seq, 11);
        QCOMPARE(m->text, QStringLiteral("imessage sent"));
        QCOMPARE(m->service, QStringLiteral("iMessage"));
        QCOMPARE(m->account, QStringLiteral("e:me@example.com"));
        QCOMPARE(m->account_guid, accountGuid);
        QCOMPARE(m->error, 1);
        QCOMPARE(m->date_read, 0);
        QCOMPARE(m->date_delivered, imsgBase + 112);
        QCOMPARE(m->is_finished + m->is_prepared + m->is_read + m->is_sent + m->was_data_detected, 5);
        QCOMPARE(m->is_delivered, 0);
    }

    // A date no record can hold leaves its message out, counted once however often the
    // file is read: an SMS row's Unix date after 2069, an iMessage row's delivery date.
    void datesBeyondRecordsLeaveTheMessageOut()
    {
        // The file's triggers call the phone's read(flags).
        const CliResult changed = python("import sqlite3, sys\n"
                                         "db = sqlite3.connect(sys.argv[1])\n"
                                         "db.create_function('read', 1, lambda flags: int(flags != 0))\n"
                                         "db.execute('update message set date = 3155760000 where rowid = 5')\n"
                                         "db.execute('update message set madrid_date_delivered = 3124137600 "
                                         "where rowid = 11')\n"
                                         "db.commit()\n",
                                         {smsDbPath(*folder)});
        QVERIFY2(changed.exitCode == 0, changed.err.constData());
        IOS5MessageDb db(QDir(folder->path()), usMcc);
        MsgSetPtr set;
        db.messages(set, 0);
        db.messages(set, 0);
        QCOMPARE(set.data()->undatableMessages, (QSet<qint64>{5, 11}));
        QVERIFY(!set.data()->messages.contains(5));
        QVERIFY(!set.data()->messages.contains(11));
        QVERIFY(set.data()->messages.contains(4));
    }

    void repeatedLoadingAddsNothing()
    {
        IOS5MessageDb db(QDir(folder->path()), usMcc);
        MsgSetPtr set;
        db.messages(set, 0);
        const QHash<qint64, _MsgChat*> chats = set.data()->chats;
        const QHash<qint64, _MsgHandle*> handles = set.data()->handles;
        const QHash<qint64, _MsgMessage*> messages = set.data()->messages;
        const QHash<QString, _MsgHandle*> groupHandles = chats.value(4)->handles;
        db.messages(set, 0);
        db.chats(set);
        QCOMPARE(set.data()->chats, chats);
        QCOMPARE(set.data()->handles, handles);
        QCOMPARE(set.data()->messages, messages);
        QCOMPARE(chats.value(4)->handles, groupHandles);
        QCOMPARE(chats.value(2)->messages.size(), 2);
    }

    // The file's triggers call read(flags): the phone's function must be there, and
    // tell a read message (non-zero flags) from an unread one.
    // The phone's triggers call read(flags); the reader registers it, yet never writes.
    void readerNeverWrites()
    {
        const QString path = smsDbPath(*folder);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();
        IOS5MessageDb db(QDir(folder->path()), usMcc);
        QCOMPARE(db.messageCount(), 16);
        Sqlite3Cursor read = db.queryThrow("select read(flags) from message where rowid=3");
        QVERIFY(read.moveNext());
        QCOMPARE(read.getInt64(0), 0);
        QVERIFY_THROWS_EXCEPTION(std::exception, db.executeThrow("update message set flags=2 where rowid=3"));
        db.close();
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
        QCOMPARE(QDir(QFileInfo(path).path()).entryList(QDir::Files), QStringList{"sms.db"});
    }

    void recycledMessagesJoinTheirConversation()
    {
        IOS5MessageDb db(QDir(folder->path()), usMcc);
        _MsgMessage deleted;
        deleted.guid = QStringLiteral("11111111-2222-3333-4444-555555555555");
        deleted.text = QStringLiteral("carved text");
        deleted.service = QStringLiteral("SMS");
        deleted.date = smsBase + 25;
        db.recycleDb()->insertMessage(deleted, QStringLiteral("+14155552671"), QStringLiteral("+14155552671"), 77);

        MsgSetPtr set;
        db.chats(set);
        db.loadRecycledMessages(set);
        const _MsgMessage* m = set.data()->messages.value(recycledMessageRowidBase - 1);
        QVERIFY(m);
        QVERIFY(m->deleted);
        QCOMPARE(m->text, QStringLiteral("carved text"));
        QCOMPARE(m->chat, set.data()->chats.value(2));
    }

    // The check derives every expected chat, identity, date and direction from the file.
    void dumpOfTheGeneratedFile_data()
    {
        QTest::addColumn<bool>("madridChat");
        QTest::newRow("SMS and iMessage chats") << true;
        QTest::newRow("no madrid_chat table") << false;
    }
    void dumpOfTheGeneratedFile()
    {
        QFETCH(bool, madridChat);
        QVERIFY(copyInto(madridChat ? withMadridChat : withoutMadridChat, *folder));
        const QString loose = folder->filePath(QStringLiteral("elsewhere/sms.db"));
        QVERIFY(QDir().mkpath(QFileInfo(loose).path()));
        QVERIFY(QFile::copy(smsDbPath(*folder), loose));
        QFile file(loose);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();

        for (const QString& path : {folder->path(), loose}) {
            const CliResult dump = msgtool({QStringLiteral("dump"), path});
            QVERIFY2(dump.exitCode == 0, dump.err.constData());
            const CliResult checked =
                runCli(QStringLiteral("python3"), {fixture(QStringLiteral("check_ios5_dump.py")), loose}, dump.out);
            QVERIFY2(checked.exitCode == 0, checked.err.constData());
            QCOMPARE(checked.out.trimmed(), QByteArray("16"));
        }
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
    }

    void failedOpenIsTriedAgain()
    {
        QFile file(smsDbPath(*folder));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray good = file.readAll();
        file.close();
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray(4096, 'x'));
        file.close();

        IOS5MessageDb db(QDir(folder->path()), usMcc);
        MsgSetPtr set;
        QVERIFY_THROWS_EXCEPTION(std::exception, db.chats(set));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(good);
        file.close();
        db.chats(set);
        QCOMPARE(set.data()->chats.size(), 10);
    }

    void missingFileThrowsAndCreatesNothing()
    {
        QTemporaryDir empty;
        IOS5MessageDb db(QDir(empty.path()), usMcc);
        MsgSetPtr set;
        QVERIFY_THROWS_EXCEPTION(std::exception, db.chats(set));
        QVERIFY(!QFileInfo::exists(smsDbPath(empty)));
        QVERIFY(set.data()->chats.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestIOS5MessageDb)
#include "TestIOS5MessageDb.moc"
