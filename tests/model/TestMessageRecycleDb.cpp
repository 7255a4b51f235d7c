#include "model/MessageRecycleDb.h"

#include "support/Cli.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <QTest>

#include <limits>

namespace {

_MsgMessage message(const QString& guid, qint32 date, const QString& text, qint64 handleId = 0)
{
    _MsgMessage m;
    m.guid = guid;
    m.date = date;
    m.text = text;
    m.handle_id = handleId;
    return m;
}

_RecycledMessage recycled(qint64 storeRowid, const QString& service, const QString& chatIdentifier,
                          qint64 handleId, qint32 date = 100, const QString& sender = {})
{
    _RecycledMessage r;
    r.rowid = recycledMessageRowidBase - storeRowid;
    r.guid = QStringLiteral("GUID-%1").arg(storeRowid);
    r.service = service;
    r.chat_identifier = chatIdentifier;
    r.handle_id = handleId;
    r.date = date;
    r.handle = sender;
    r.deleted = true;
    return r;
}

// A chat as a reader leaves it in a set, its handles keyed as the test says.
_MsgChat* addReaderChat(const MsgSetPtr& set, qint64 rowid, const QString& service, const QString& identifier,
                        const QStringList& handleKeys)
{
    auto* chat = new _MsgChat;
    chat->rowid = rowid;
    chat->service_name = service;
    chat->chat_identifier = identifier;
    set.data()->chats.insert(rowid, chat);
    for (const QString& key : handleKeys) {
        auto* handle = new _MsgHandle;
        handle->rowid = rowid * 100 + chat->handles.size();
        handle->id = key;
        set.data()->handles.insert(handle->rowid, handle);
        chat->handles.insert(key, handle);
    }
    return chat;
}

QString md5Guid(const QString& text)
{
    const QString h = QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex()).toUpper();
    return QStringList{h.mid(0, 8), h.mid(8, 4), h.mid(12, 4), h.mid(16, 4), h.mid(20)}.join(QLatin1Char('-'));
}

} // namespace

class TestMessageRecycleDb : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("recycle.db"));
        QFile::remove(m_path);
    }

    void newFileGetsTheSchema()
    {
        MessageRecycleDb recycle(m_path);
        QCOMPARE(recycle.findHandle(_MsgHandle()), 0);
        QCOMPARE(sqliteCli(m_path, "select group_concat(name, ' ') from (select name from sqlite_master "
                                   "where type='table' and name <> 'sqlite_sequence' order by rowid);"
                                   "select group_concat(name, ' ') from (select name from sqlite_master "
                                   "where type='index' and name not like 'sqlite_autoindex%' order by rowid);"
                                   "select count(*) from pragma_table_info('message');"
                                   "select type, \"notnull\", dflt_value from pragma_table_info('message') "
                                   "where name in ('guid', 'is_skip', 'attributedBody', 'cache_has_attachments');"
                                   "select count(*) from pragma_table_info('chat');"
                                   "select count(*) from pragma_index_list('handle') where \"unique\";"),
                 QByteArray("message chat handle\n"
                            "message_idx_chat_identifier message_idx_chat_date message_idx_handle_id "
                            "message_idx_src_rowid chat_idx_identifier chat_idx_src_rowid handle_idx_src_rowid\n"
                            "42\nTEXT|1|\nBLOB|0|\nINTEGER|0|0\nINTEGER|1|0\n14\n2"));
    }

    void existingFileIsOpenedAsItIs()
    {
        MessageRecycleDb(m_path).initDb();
        sqliteCli(m_path, "drop index message_idx_chat_date");
        MessageRecycleDb second(m_path);
        second.initDb();
        QCOMPARE(sqliteCli(m_path, "select count(*) from sqlite_master where name='message_idx_chat_date'"),
                 QByteArray("0"));
    }

    // A creation cut short leaves a file that every later open would take as it is.
    void fileWithoutTablesIsCompleted()
    {
        QCOMPARE(sqliteCli(m_path, "create table handle(ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, "
                                   "id TEXT NOT NULL, country TEXT, service TEXT NOT NULL, uncanonicalized_id TEXT, "
                                   "src_rowid INTEGER, UNIQUE (id, service)); insert into handle(id, service) "
                                   "values('+1', 'SMS');"),
                 QByteArray());
        MessageRecycleDb recycle(m_path);
        QCOMPARE(recycle.insertMessage(message({}, 1, "a"), {}, {}, 0), 1);
        QCOMPARE(recycle.loadHandles().size(), 1);
        QCOMPARE(sqliteCli(m_path, "select count(*) from sqlite_master where type='index' "
                                   "and name not like 'sqlite_autoindex%'"),
                 QByteArray("7"));
    }

    void unopenablePathThrows()
    {
        QFile file(m_dir.filePath(QStringLiteral("plain")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        MessageRecycleDb recycle(m_dir.filePath(QStringLiteral("plain/recycle.db")));
        QVERIFY_THROWS_EXCEPTION(std::exception, recycle.loadMessages());
        QVERIFY(!recycle.isOpen());
    }

    void messageGuidIsReplacedOnlyInTheStore_data()
    {
        QTest::addColumn<QString>("guid");
        QTest::addColumn<bool>("kept");
        QTest::newRow("GUID form") << "0A1b2C3d-4E5f-6a7B-8c9D-0e1F2a3B4c5D" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("short group") << "0A1b2C3d-4E5f-6a7B-8c9D-0e1F2a3B4c5" << false;
        QTest::newRow("trailing line break") << "0A1b2C3d-4E5f-6a7B-8c9D-0e1F2a3B4c5D\n" << false;
        QTest::newRow("braces") << "{0A1b2C3d-4E5f-6a7B-8c9D-0e1F2a3B4c5D}" << false;
    }
    void messageGuidIsReplacedOnlyInTheStore()
    {
        QFETCH(QString, guid);
        QFETCH(bool, kept);
        MessageRecycleDb recycle(m_path);
        _MsgMessage m = message(guid, 500, QStringLiteral("hello"));
        m.is_from_me = 1;
        const qint64 rowid = recycle.insertMessage(m, {}, {}, 0);
        QCOMPARE(m.guid, guid);
        const QString stored = QString::fromUtf8(sqliteCli(m_path, "select guid from message"));
        QCOMPARE(stored == guid, kept);
        QCOMPARE(sqliteCli(m_path, "select length(guid) from message"), QByteArray("36"));
        QVERIFY(QRegularExpression(QStringLiteral(R"(\A[0-9A-Za-z]{8}(-[0-9A-Za-z]{4}){3}-[0-9A-Za-z]{12}\z)"))
                    .match(stored).hasMatch());
        QCOMPARE(recycle.findMessage(m), rowid);

        _MsgMessage otherDirection = m;
        otherDirection.guid = QStringLiteral("X");
        otherDirection.is_from_me = 0;
        QCOMPARE(recycle.findMessage(otherDirection), 0);
    }

    void messageColumnsAsStored()
    {
        MessageRecycleDb recycle(m_path);
        _MsgMessage bare = message({}, 10, {});
        bare.cache_has_attachments = 1;
        QCOMPARE(recycle.insertMessage(bare, {}, {}, 0), 1);

        _MsgAttachment attachment;
        _MsgMessage full = message({}, 11, QStringLiteral("t"), 7);
        full.service_center = QStringLiteral("+44centre");
        full.subject = QStringLiteral("s");
        full.country = QStringLiteral("gb");
        full.attributedBody = QByteArray("\0b", 2);
        full.service = QStringLiteral("SMS");
        full.is_archive = 1;
        full.is_delivered = 1;
        full.attachments.insert(QStringLiteral("1"), &attachment);
        QCOMPARE(recycle.insertMessage(full, QStringLiteral("+447400123456"), QStringLiteral("+44740"), 33), 2);
        QCOMPARE(recycle.insertMessage(message({}, 12, {}), {}, {}, -4), 3);

        QCOMPARE(sqliteCli(m_path, "select rowid, quote(text), quote(service_center), quote(subject), quote(country), "
                                   "quote(attributedBody), quote(service), quote(account), quote(cache_roomnames), "
                                   "cache_has_attachments, is_delivered, is_archive, handle_id, "
                                   "quote(chat_identifier), quote(handle), quote(src_rowid), is_skip "
                                   "from message order by rowid"),
                 QByteArray("1|''|NULL|NULL|NULL|NULL|''|''|''|0|0|0|0|''|''|NULL|0\n"
                            "2|'t'|'+44centre'|'s'|'gb'|X'0062'|'SMS'|''|''|1|1|1|7|'+447400123456'|'+44740'|33|0\n"
                            "3|''|NULL|NULL|NULL|NULL|''|''|''|0|0|0|0|''|''|NULL|0"));
    }

    void duplicateGuidIsRefused()
    {
        MessageRecycleDb recycle(m_path);
        const _MsgMessage m = message(QStringLiteral("0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D"), 1, QStringLiteral("a"));
        recycle.insertMessage(m, {}, {}, 0);
        QVERIFY_THROWS_EXCEPTION(std::exception, recycle.insertMessage(m, {}, {}, 0));
    }

    void setMessageChatUpdatesOnlyAStoredMessage()
    {
        MessageRecycleDb recycle(m_path);
        const _MsgMessage stored = message({}, 5, QStringLiteral("x"));
        recycle.insertMessage(stored, QStringLiteral("old"), QStringLiteral("h0"), 1);
        recycle.setMessageChat(message({}, 6, QStringLiteral("x")), QStringLiteral("none"), QStringLiteral("h9"));
        recycle.setMessageChat(stored, QStringLiteral("chat123"), QStringLiteral("h1"));
        QCOMPARE(sqliteCli(m_path, "select chat_identifier, handle from message"), QByteArray("chat123|h1"));
    }

    void handlesStoredAndFound()
    {
        MessageRecycleDb recycle(m_path);
        _MsgHandle empty;
        empty.service = QString();
        _MsgHandle known;
        known.id = QStringLiteral("+447400123456");
        known.service = QStringLiteral("iMessage");
        known.country = QStringLiteral("gb");
        known.uncanonicalized_id = QStringLiteral("07400 123456");
        QCOMPARE(recycle.insertHandle(empty, 0), 1);
        QCOMPARE(recycle.insertHandle(known, 42), 2);
        QVERIFY_THROWS_EXCEPTION(std::exception, recycle.insertHandle(known, 43));
        QCOMPARE(sqliteCli(m_path, "select quote(id), quote(country), quote(service), quote(uncanonicalized_id), "
                                   "quote(src_rowid) from handle order by rowid"),
                 QByteArray("''|''|''|''|NULL\n'+447400123456'|'gb'|'iMessage'|'07400 123456'|42"));

        QCOMPARE(recycle.findHandle(known), 2);
        _MsgHandle sms = known;
        sms.service = QStringLiteral("SMS");
        QCOMPARE(recycle.findHandle(sms), 0);

        const _MsgHandle bySource = recycle.handleBySrcRowid(42);
        QCOMPARE(bySource.rowid, 42);
        QCOMPARE(bySource.id, known.id);
        QCOMPARE(bySource.service, known.service);
        QCOMPARE(bySource.uncanonicalized_id, known.uncanonicalized_id);
        QCOMPARE(bySource.country, QString());
        for (const qint64 srcRowid : {qint64(0), qint64(7)}) {
            const _MsgHandle none = recycle.handleBySrcRowid(srcRowid);
            QCOMPARE(none.rowid, 0);
            QCOMPARE(none.id, QString());
            QCOMPARE(none.service, QStringLiteral("SMS"));
        }

        const QList<_MsgHandle> all = recycle.loadHandles();
        QCOMPARE(all.size(), 2);
        QCOMPARE(all[1].rowid, 2);
        QCOMPARE(all[1].id, known.id);
        QCOMPARE(all[1].country, QString());
    }

    void loadMessagesReadsBackUnskippedRows()
    {
        MessageRecycleDb recycle(m_path);
        _MsgMessage m = message(QStringLiteral("0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D"), 400, QStringLiteral("hi"), 9);
        m.service = QStringLiteral("iMessage");
        m.attributedBody = QByteArray("ab");
        m.is_read = 1;
        m.is_from_me = 1;
        m.was_deduplicated = 1;
        m.date_read = 401;
        m.item_type = 3;
        recycle.insertMessage(m, QStringLiteral("chat1"), QStringLiteral("+1"), 5);
        recycle.insertMessage(message({}, 1, QStringLiteral("skipped")), {}, {}, 0);
        sqliteCli(m_path, "update message set is_skip=1 where rowid=2");

        const QList<_RecycledMessage> loaded = recycle.loadMessages();
        QCOMPARE(loaded.size(), 1);
        const _RecycledMessage& r = loaded[0];
        QCOMPARE(r.rowid, Q_INT64_C(-2047483649));
        QCOMPARE(r.seq, 0);
        QVERIFY(r.deleted);
        QCOMPARE(r.guid, m.guid);
        QCOMPARE(r.text, m.text);
        QCOMPARE(r.handle_id, 9);
        QCOMPARE(r.service, m.service);
        QCOMPARE(r.attributedBody, m.attributedBody);
        QCOMPARE(r.date, 400);
        QCOMPARE(r.date_read, 401);
        QCOMPARE(r.is_read, 1);
        QCOMPARE(r.is_from_me, 1);
        QCOMPARE(r.was_deduplicated, 1);
        QCOMPARE(r.item_type, 0);
        QCOMPARE(r.chat_identifier, QStringLiteral("chat1"));
        QCOMPARE(r.handle, QStringLiteral("+1"));
    }

    void unknownChatsForMessagesWithoutIdentifier_data()
    {
        QTest::addColumn<QString>("service");
        QTest::newRow("SMS") << "SMS";
        QTest::newRow("iMessage") << "iMessage";
    }
    void unknownChatsForMessagesWithoutIdentifier()
    {
        QFETCH(QString, service);
        MsgSetPtr set;
        MessageRecycleDb::buildChats(set, {recycled(1, service, {}, 12, 300)});

        _MsgMessage* m = set.data()->messages.value(-2047483649);
        QVERIFY(m);
        QCOMPARE(m->seq, Q_INT64_C(2047483649));
        QVERIFY(m->deleted);
        _MsgChat* chat = set.data()->chats.value(-2047483659);
        QVERIFY(chat);
        QCOMPARE(m->chat, chat);
        QCOMPARE(chat->rowid, -2047483659);
        QCOMPARE(chat->chat_identifier, QStringLiteral("unknown12"));
        QCOMPARE(chat->guid, QStringLiteral("SMS;-;unknown12"));
        QCOMPARE(chat->service_name, QStringLiteral("SMS"));
        QCOMPARE(chat->account_login, QStringLiteral("E:"));
        QCOMPARE(chat->lastDate, 300);
        QCOMPARE(chat->handles.size(), 1);
        _MsgHandle* handle = set.data()->handles.value(-2047483659);
        QVERIFY(handle);
        QCOMPARE(chat->handles.value(QStringLiteral("unknown12")), handle);
        QCOMPARE(handle->id, QStringLiteral("unknown12"));
        QCOMPARE(m->handle, handle);
        QCOMPARE(chat->messages.value(m->guid), m);
    }

    void newIMessageChat_data()
    {
        QTest::addColumn<QString>("accountGuid");
        QTest::addColumn<QString>("accountId");
        QTest::newRow("account GUID kept") << "AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE"
                                           << "AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE";
        QTest::newRow("empty account GUID") << "" << md5Guid(QStringLiteral("+447400123456"));
        QTest::newRow("account GUID of another shape") << "p:0/abc" << md5Guid(QStringLiteral("+447400123456"));
    }
    void newIMessageChat()
    {
        QFETCH(QString, accountGuid);
        QFETCH(QString, accountId);
        MsgSetPtr set;
        _RecycledMessage first = recycled(1, QStringLiteral("iMessage"), QStringLiteral("+447400123456"), 5, 200);
        first.account_guid = accountGuid;
        first.account = QStringLiteral("e:me@example.com");
        _RecycledMessage second = recycled(2, QStringLiteral("iMessage"), QStringLiteral("+447400123456"), 5, 700);
        _RecycledMessage third = recycled(3, QStringLiteral("iMessage"), QStringLiteral("+447400123456"), 5, 400);
        MessageRecycleDb::buildChats(set, {first, second, third});

        QCOMPARE(set.data()->chats.size(), 1);
        _MsgChat* chat = set.data()->chats.value(-1947483652);
        QVERIFY(chat);
        QCOMPARE(chat->guid, QStringLiteral("iMessage;-;+447400123456"));
        QCOMPARE(chat->service_name, QStringLiteral("iMessage"));
        QCOMPARE(chat->account_id, accountId);
        QCOMPARE(chat->account_login, QStringLiteral("e:me@example.com"));
        QCOMPARE(chat->lastDate, 700);
        QCOMPARE(chat->messages.size(), 3);
        _MsgHandle* handle = set.data()->handles.value(-1947483652);
        QVERIFY(handle);
        QCOMPARE(handle->service, QStringLiteral("iMessage"));
        for (_MsgMessage* m : set.messages())
            QCOMPARE(m->handle, handle);
    }

    void messagesJoinChatsOfTheSetByService()
    {
        MsgSetPtr set;
        _MsgChat* iMessageChat = addReaderChat(set, 1, QStringLiteral("imessage"), QStringLiteral("+1555"), {"1"});
        _MsgChat* smsChat = addReaderChat(set, 2, QStringLiteral("SMS"), QStringLiteral("+1555"), {"2"});
        MessageRecycleDb::buildChats(set, {recycled(1, QStringLiteral("IMESSAGE"), QStringLiteral("+1555"), 3),
                                           recycled(2, QStringLiteral("sms"), QStringLiteral("+1555"), 3)});
        QCOMPARE(set.data()->chats.size(), 2);
        QCOMPARE(set.data()->messages.value(-2047483649)->chat, iMessageChat);
        QCOMPARE(set.data()->messages.value(-2047483650)->chat, smsChat);
        QCOMPARE(set.data()->messages.value(-2047483650)->handle, smsChat->handles.value("2"));
    }

    void groupSenderFoundByIdText_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("sender");
        QTest::addColumn<bool>("found");
        QTest::newRow("keyed by id, sender present") << QStringList{"+1", "+2", "+3"} << "+2" << true;
        QTest::newRow("keyed by id, sender absent") << QStringList{"+1", "+2", "+3"} << "+9" << false;
        QTest::newRow("keyed by row id as readers do") << QStringList{"700", "701", "702"} << "+2" << false;
    }
    void groupSenderFoundByIdText()
    {
        QFETCH(QStringList, keys);
        QFETCH(QString, sender);
        QFETCH(bool, found);
        MsgSetPtr set;
        _MsgChat* group = addReaderChat(set, 7, QStringLiteral("iMessage"), QStringLiteral("chat001"), keys);
        MessageRecycleDb::buildChats(
            set, {recycled(1, QStringLiteral("iMessage"), QStringLiteral("chat001"), 2, 100, sender)});
        _MsgMessage* m = set.data()->messages.value(-2047483649);
        QCOMPARE(m->chat, group);
        QCOMPARE(m->handle, found ? group->handles.value(sender) : nullptr);
    }

    void secondRunAddsNothing()
    {
        MsgSetPtr set;
        const QList<_RecycledMessage> list{recycled(1, QStringLiteral("SMS"), QStringLiteral("+1"), 1),
                                           recycled(2, QStringLiteral("SMS"), {}, 1)};
        MessageRecycleDb::buildChats(set, list);
        MessageRecycleDb::buildChats(set, list);
        QCOMPARE(set.data()->messages.size(), 2);
        QCOMPARE(set.data()->chats.size(), 2);
        QCOMPARE(set.data()->handles.size(), 2);
        QCOMPARE(set.data()->chats.value(-1947483648)->messages.size(), 1);
    }

    // handle_id 0 is common, and an SMS and an iMessage chat of one number share their
    // handle's id: each chat must keep a key of its own, in the known range.
    void chatsThatWouldShareAKeyKeepTheirOwn()
    {
        MsgSetPtr set;
        MessageRecycleDb::buildChats(set, {recycled(1, QStringLiteral("SMS"), QStringLiteral("+1"), 0, 10),
                                           recycled(2, QStringLiteral("SMS"), QStringLiteral("+2"), 0, 20),
                                           recycled(3, QStringLiteral("iMessage"), QStringLiteral("+1"), 0, 30),
                                           recycled(4, QStringLiteral("SMS"), {}, 0, 40)});
        QCOMPARE(set.data()->chats.size(), 4);
        QCOMPARE(set.data()->handles.size(), 4);
        for (qint64 key : set.data()->chats.keys()) {
            _MsgChat* chat = set.data()->chats.value(key);
            QCOMPARE(chat->rowid, key);
            QCOMPARE(set.data()->handles.value(key), *chat->handles.cbegin());
            QCOMPARE(chat->messages.size(), 1);
            const _MsgMessage* m = *chat->messages.cbegin();
            QCOMPARE(m->chat, chat);
            QCOMPARE(chat->lastDate, m->date);
            QCOMPARE(key <= unknownChatRowidBase, chat->chat_identifier == QStringLiteral("unknown0"));
        }
        QCOMPARE(set.data()->chats.value(-1947483647)->chat_identifier, QStringLiteral("+1"));
        QCOMPARE(set.data()->chats.value(-2047483647)->chat_identifier, QStringLiteral("unknown0"));
    }

    void outlandishHandleIdsStayInTheirRange()
    {
        MsgSetPtr set;
        const qint64 huge = std::numeric_limits<qint64>::max();
        const qint64 tiny = std::numeric_limits<qint64>::min();
        MessageRecycleDb::buildChats(set, {recycled(1, QStringLiteral("SMS"), QStringLiteral("+1"), huge),
                                           recycled(2, QStringLiteral("SMS"), QStringLiteral("+2"), tiny),
                                           recycled(3, QStringLiteral("SMS"), {}, tiny)});
        for (const _MsgMessage* m : set.messages()) {
            const bool unknown = m->chat->chat_identifier.startsWith(QStringLiteral("unknown"));
            QVERIFY(m->chat->rowid < 0);
            QCOMPARE(m->chat->rowid <= unknownChatRowidBase, unknown);
        }
    }
};

QTEST_GUILESS_MAIN(TestMessageRecycleDb)
#include "TestMessageRecycleDb.moc"
