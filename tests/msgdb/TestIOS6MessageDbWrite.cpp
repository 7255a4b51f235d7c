#include "msgdb/DeviceFixture.h"
#include "msgdb/IOS6MessageDb.h"
#include "support/Cli.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

_MsgMessage plainMessage(const QString& guid)
{
    _MsgMessage m;
    m.guid = guid;
    m.text = QString::fromUtf8("Grüße 😀");
    m.service = QStringLiteral("SMS");
    m.date = 400000123;
    m.is_from_me = 1;
    m.item_type = 2;
    m.group_title = QStringLiteral("Title");
    m.other_handle = 77; // a row id of the source database, never written
    return m;
}

_MsgHandle makeHandle(const QString& id, const QString& service = QStringLiteral("SMS"))
{
    _MsgHandle h;
    h.id = id;
    h.service = service;
    return h;
}

// The GUID-shaped MD5 of the text, computed outside our code.
QByteArray pythonGuidOf(const QString& text)
{
    return python("import hashlib, sys\n"
                  "h = hashlib.md5(sys.argv[1].encode()).hexdigest().upper()\n"
                  "print('-'.join([h[:8], h[8:12], h[12:16], h[16:20], h[20:]]))",
                  {text})
        .out.trimmed();
}

} // namespace

class TestIOS6MessageDbWrite : public QObject
{
    Q_OBJECT

private slots:
    void insertMessage_data()
    {
        QTest::addColumn<qint64>("otherHandle");
        QTest::addColumn<QString>("fingerprint");
        QTest::addColumn<QByteArray>("expected");
        // The fingerprint of a group event is the MD5 of its GUID.
        const QByteArray ownHash = python("import hashlib; print(hashlib.md5(b'G1').hexdigest())").out.trimmed();
        QTest::newRow("no other handle, own fingerprint") << qint64(0) << QString() << QByteArray("-1|" + ownHash);
        QTest::newRow("other handle, given fingerprint") << qint64(5) << QStringLiteral("given") << QByteArray("5|given");
    }
    void insertMessage()
    {
        QFETCH(qint64, otherHandle);
        QFETCH(QString, fingerprint);
        QFETCH(QByteArray, expected);
        QTemporaryDir dir;
        IOS6MessageDb db(QDir(dir.path()), QString(), true);
        const qint64 rowid = db.insertMessage(plainMessage("G1"), 3, otherHandle, fingerprint);
        QCOMPARE(rowid, 1);
        db.close();

        const QString path = smsDbPathIn(dir.path());
        QCOMPARE(sqliteCli(path, "select other_handle || '|' || logic_hash from message"), expected);
        QCOMPARE(sqliteCli(path, "select service_center is null, subject is null, country is null, "
                                 "attributedBody is null, typeof(cache_roomnames), typeof(handle_id), handle_id, "
                                 "text, item_type, group_title, is_from_me, date, version from message"),
                 QString::fromUtf8("1|1|1|1|text|integer|3|Grüße 😀|2|Title|1|400000123|10").toUtf8());
    }

    void insertMessageIntoIPhoneFiles()
    {
        QTemporaryDir dir;
        QVERIFY(makeDeviceDb(smsDbPathIn(dir.path())));
        IOS6MessageDb ios6(QDir(dir.path()), QString(), false);
        _MsgMessage m = plainMessage("NEW-1");
        m.group_title.clear();
        const qint64 rowid = ios6.insertMessage(m, 1, 2, QString());
        QCOMPARE(ios6.findMessageByGuid("NEW-1"), rowid);
        QCOMPARE(ios6.findMessageByLogicHash(m), 0);

        QTemporaryDir laterDir;
        QVERIFY(makeDeviceDb(smsDbPathIn(laterDir.path()), {"--later"}));
        IOS6MessageDb later(QDir(laterDir.path()), QString(), false);
        later.insertMessage(plainMessage("NEW-2"), 1, 0, QString());
        later.insertMessage(plainMessage("NEW-3"), 1, 2, QString());
        later.close();
        QCOMPARE(sqliteCli(smsDbPathIn(laterDir.path()),
                           "select group_concat(item_type || ':' || other_handle || ':' || group_title) from "
                           "(select * from message where guid like 'NEW-%' order by guid)"),
                 QByteArray("2:0:Title,2:2:Title"));
    }

    void insertHandleAndAttachment()
    {
        QTemporaryDir dir;
        IOS6MessageDb db(QDir(dir.path()), QString(), true);
        _MsgHandle h = makeHandle("+14155550101");
        QCOMPARE(db.insertHandle(h), 1);
        _MsgAttachment a;
        a.guid = QStringLiteral("A1");
        a.filename = QStringLiteral("~/Library/SMS/Attachments/x.jpg");
        a.total_bytes = 5000000000LL;
        QCOMPARE(db.insertAttachment(a), 1);
        db.close();
        const QString path = smsDbPathIn(dir.path());
        QCOMPARE(sqliteCli(path, "select country is null, uncanonicalized_id is null, typeof(_ct_name), typeof(_photo) "
                                 "from handle"),
                 QByteArray("1|1|text|blob"));
        QCOMPARE(sqliteCli(path, "select user_info is null, transfer_name is null, total_bytes, transfer_state from "
                                 "attachment"),
                 QByteArray("1|1|5000000000|5"));

        QTemporaryDir phoneDir;
        QVERIFY(makeDeviceDb(smsDbPathIn(phoneDir.path())));
        IOS6MessageDb phone(QDir(phoneDir.path()), QString(), false);
        QVERIFY(phone.insertHandle(makeHandle("+19995550000")) > 0);
        QVERIFY(phone.insertAttachment(a) > 0);
    }

    void insertChat()
    {
        _MsgHandle known = makeHandle("+14155550101");
        _MsgHandle fresh = makeHandle("bob@example.com", "iMessage");
        _MsgChat chat;
        chat.guid = QStringLiteral("iMessage;+;chat000000000000000001");
        chat.service_name = QStringLiteral("iMessage");
        chat.last_addressed_handle = QStringLiteral("not written");
        chat.handles.insert("1", &known);
        chat.handles.insert("2", &fresh);

        QStringList groupIds;
        for (int i = 0; i < 2; ++i) {
            QTemporaryDir dir;
            IOS6MessageDb db(QDir(dir.path()), QString(), true);
            const qint64 knownRow = db.insertHandle(known);
            const qint64 chatRow = db.insertChat(chat);
            QCOMPARE(db.findChatByGuid(chat.guid), chatRow);
            QCOMPARE(db.findHandle(known), knownRow);
            QVERIFY(db.hasChatHandle(chatRow, knownRow));
            QVERIFY(db.hasChatHandle(chatRow, db.findHandle(fresh)));
            db.setLastAddressedHandle(chatRow, fresh.id);
            db.close();
            const QString path = smsDbPathIn(dir.path());
            QCOMPARE(sqliteCli(path, "select count(*) from handle; select count(*) from chat_handle_join;"),
                     QByteArray("2\n2"));
            QCOMPARE(sqliteCli(path, "select display_name is null, properties is null, _last, last_addressed_handle "
                                     "from chat"),
                     QByteArray("1|1|0|bob@example.com"));
            groupIds << QString::fromUtf8(sqliteCli(path, "select group_id from chat"));
        }
        QCOMPARE(groupIds.at(0), groupIds.at(1));
        QCOMPARE(groupIds.at(0).toUtf8(), pythonGuidOf(chat.guid));
    }

    void insertChatRefusesOtherServices()
    {
        QTemporaryDir dir;
        IOS6MessageDb db(QDir(dir.path()), QString(), true);
        _MsgChat chat;
        chat.guid = QStringLiteral("sms;-;+1");
        chat.service_name = QStringLiteral("sms");
        try {
            db.insertChat(chat);
            QFAIL("a chat of service sms was written");
        } catch (const std::runtime_error& e) {
            QCOMPARE(QString::fromUtf8(e.what()), "IOS6MessageDb::insertChat, invalid chat, service_name:sms");
        }
        QCOMPARE(db.findChatByGuid(chat.guid), 0);
    }

    void lookupsFindNothingInAnEmptyFile()
    {
        QTemporaryDir dir;
        IOS6MessageDb db(QDir(dir.path()), QString(), true);
        _MsgAttachment a;
        a.guid = QStringLiteral("A");
        QCOMPARE(db.findAttachmentByGuid(a), 0);
        QCOMPARE(db.findChatByGuid("C"), 0);
        QCOMPARE(db.findMessageByGuid("M"), 0);
        QCOMPARE(db.findHandle(makeHandle("+1")), 0);
        QCOMPARE(db.findMessageByLogicHash(plainMessage("M")), 0);
        QVERIFY(!db.hasChatHandle(1, 1));
        QCOMPARE(db.countChatMessages(), 0);
    }

    void joinsWrittenTwiceStayOne()
    {
        QTemporaryDir dir;
        IOS6MessageDb db(QDir(dir.path()), QString(), true);
        const qint64 message = db.insertMessage(plainMessage("M"), 0, 0, QString());
        _MsgAttachment a;
        a.guid = QStringLiteral("A");
        const qint64 attachment = db.insertAttachment(a);
        for (int i = 0; i < 2; ++i) {
            db.joinChatMessage(1, message);
            db.joinChatHandle(1, 1);
            db.joinMessageAttachment(message, attachment);
        }
        QCOMPARE(db.findAttachmentByGuid(a), attachment);
        db.close();
        QCOMPARE(sqliteCli(smsDbPathIn(dir.path()),
                           "select count(*) from chat_message_join; select count(*) from chat_handle_join; "
                           "select count(*) from message_attachment_join; select count(*) from attachment; "
                           "select cache_has_attachments from message;"),
                 QByteArray("1\n1\n1\n1\n1"));
    }

    void countChatMessagesCountsJoins()
    {
        QTemporaryDir dir;
        IOS6MessageDb db(QDir(dir.path()), QString(), true);
        _MsgMessage sharing = plainMessage("M2");
        sharing.item_type = 4;
        const qint64 one = db.insertMessage(plainMessage("M1"), 0, 0, QString());
        const qint64 two = db.insertMessage(sharing, 0, 0, QString());
        db.joinChatMessage(1, one);
        db.joinChatMessage(2, one);
        db.joinChatMessage(1, two);
        QCOMPARE(db.countChatMessages(), 2);

        QTemporaryDir phoneDir;
        QVERIFY(makeDeviceDb(smsDbPathIn(phoneDir.path())));
        IOS6MessageDb phone(QDir(phoneDir.path()), QString(), false);
        QCOMPARE(phone.countChatMessages(), 8);
    }

    void deleteMessage()
    {
        QTemporaryDir dir;
        IOS6MessageDb db(QDir(dir.path()), QString(), true);
        _MsgChat chat;
        chat.guid = QStringLiteral("C");
        chat.rowid = db.insertChat(chat);
        _MsgChat lonely;
        lonely.guid = QStringLiteral("L");
        lonely.rowid = db.insertChat(lonely);
        const qint64 handle = db.insertHandle(makeHandle("+1"));
        _MsgAttachment a;
        a.guid = QStringLiteral("A");
        const qint64 attachment = db.insertAttachment(a);
        _MsgMessage first = plainMessage("M1");
        first.rowid = db.insertMessage(first, handle, 0, QString());
        first.chat = &chat;
        _MsgMessage second = plainMessage("M2");
        second.rowid = db.insertMessage(second, 0, 0, QString());
        second.chat = &chat;
        // Joined to a chat, but the record does not know it.
        _MsgMessage unfiled = plainMessage("M3");
        unfiled.rowid = db.insertMessage(unfiled, 0, 0, QString());
        db.joinChatMessage(chat.rowid, first.rowid);
        db.joinChatMessage(chat.rowid, second.rowid);
        db.joinChatMessage(lonely.rowid, unfiled.rowid);
        db.joinMessageAttachment(first.rowid, attachment);

        db.deleteMessage(first);
        QCOMPARE(db.findChatByGuid("C"), chat.rowid);
        QCOMPARE(db.findMessageByGuid("M1"), 0);
        QCOMPARE(db.findAttachmentByGuid(a), 0);       // trigger: attachment no longer joined
        QCOMPARE(db.findHandle(makeHandle("+1")), 0); // trigger: handle no longer used
        db.deleteMessage(second);
        QCOMPARE(db.findChatByGuid("C"), 0);
        db.deleteMessage(unfiled);
        QCOMPARE(db.findChatByGuid("L"), lonely.rowid);
    }

    void deleteOnAPhoneFile()
    {
        QTemporaryDir dir;
        QVERIFY(makeDeviceDb(smsDbPathIn(dir.path()), {"--later"}));
        IOS6MessageDb db(QDir(dir.path()), QString(), false);
        MsgSetPtr set;
        db.messages(set, 0);
        for (qint64 rowid : {6, 11})
            db.deleteMessage(*set.data()->messages.value(rowid));
        db.close();
        const QString path = smsDbPathIn(dir.path());
        QCOMPARE(sqliteCli(path, "select count(*) from message where ROWID in (6, 11); select count(*) from attachment;"),
                 QByteArray("0\n0"));
    }
};

QTEST_GUILESS_MAIN(TestIOS6MessageDbWrite)
#include "TestIOS6MessageDbWrite.moc"
