#include "model/MsgSetPtr.h"

#include <QTest>

#include <algorithm>

namespace {

_MsgChat* addChat(const MsgSetPtr& set, qint64 rowid, const QString& identifier, qint32 lastDate)
{
    auto* chat = new _MsgChat;
    chat->rowid = rowid;
    chat->chat_identifier = identifier;
    chat->lastDate = lastDate;
    set.data()->chats.insert(rowid, chat);
    return chat;
}

_MsgMessage* addMessage(const MsgSetPtr& set, qint64 rowid, _MsgChat* chat)
{
    auto* message = new _MsgMessage;
    message->rowid = rowid;
    message->chat = chat;
    chat->messages.insert(QString::number(rowid), message);
    set.data()->messages.insert(rowid, message);
    return message;
}

const _ChatGroup* groupOf(const QList<_ChatGroup>& groups, const QString& identifier)
{
    for (const _ChatGroup& group : groups)
        if (!group.chats.isEmpty() && group.chats.first()->chat_identifier == identifier)
            return &group;
    return nullptr;
}

} // namespace

class TestMsgSetPtr : public QObject
{
    Q_OBJECT

private slots:
    void recordDefaults()
    {
        const _MsgMessage message;
        QCOMPARE(message.version, 10);
        QCOMPARE(message.other_handle, -1);
        QCOMPARE(message.seq, 0);
        QVERIFY(!message.deleted);
        QVERIFY(!message.handle && !message.chat && !message.otherHandle);
        const _MsgChat chat;
        QCOMPARE(chat.style, 45);
        QCOMPARE(chat.state, 3);
        QCOMPARE(chat.service_name, QStringLiteral("SMS"));
        QCOMPARE(chat.account_login, QStringLiteral("E:"));
        QCOMPARE(_MsgHandle().service, QStringLiteral("SMS"));
        QCOMPARE(_MsgAttachment().transfer_state, 5);
    }

    void isGroupChat_data()
    {
        QTest::addColumn<int>("handleCount");
        QTest::addColumn<bool>("group");
        QTest::newRow("no handle") << 0 << false;
        QTest::newRow("one handle") << 1 << false;
        QTest::newRow("two handles") << 2 << true;
    }
    void isGroupChat()
    {
        QFETCH(int, handleCount);
        QFETCH(bool, group);
        _MsgHandle handles[2];
        _MsgChat chat;
        for (int i = 0; i < handleCount; ++i)
            chat.handles.insert(QString::number(i), &handles[i]);
        QCOMPARE(chat.isGroupChat(), group);
    }

    // Run under AddressSanitizer: a record freed twice, or a chat's borrowed record
    // freed at all, aborts; a record left behind is a leak.
    void setFreesEveryOwnedRecordOnce()
    {
        _MsgMessage notOwned;
        {
            MsgSetPtr set;
            MsgSetPtr copy = set;
            _MsgChat* chat = addChat(set, 1, "+1555", 10);
            auto* handle = new _MsgHandle;
            handle->rowid = 7;
            set.data()->handles.insert(7, handle);
            chat->handles.insert("7", handle);
            _MsgMessage* message = addMessage(set, 3, chat);
            message->handle = handle;
            message->otherHandle = handle;
            auto* attachment = new _MsgAttachment;
            attachment->rowid = 9;
            set.data()->attachments.insert(9, attachment);
            message->attachments.insert("a", attachment);
            chat->messages.insert("outside", &notOwned);
            set = MsgSetPtr();
            QCOMPARE(copy.messages(), QList<_MsgMessage*>{message});
            QCOMPARE(copy.chats(), QList<_MsgChat*>{chat});
        }
        QCOMPARE(notOwned.rowid, 0);
    }

    void chatGroupsShareIdentifier_data()
    {
        QTest::addColumn<bool>("newerFirst");
        QTest::newRow("older chat inserted first") << false;
        QTest::newRow("newer chat inserted first") << true;
    }
    void chatGroupsShareIdentifier()
    {
        QFETCH(bool, newerFirst);
        MsgSetPtr set;
        _MsgChat* older = addChat(set, newerFirst ? 2 : 1, "+1555", 50);
        _MsgChat* newer = addChat(set, newerFirst ? 1 : 2, "+1555", 70);
        _MsgChat* other = addChat(set, 3, "+1666", 60);
        _MsgChat* blankA = addChat(set, 4, "", 5);
        _MsgChat* blankB = addChat(set, 5, "", 6);
        _MsgMessage* inOlder = addMessage(set, 10, older);
        _MsgMessage* inNewer = addMessage(set, 11, newer);
        addMessage(set, 12, other);

        const QList<_ChatGroup> groups = set.chatGroups();
        QCOMPARE(groups.size(), 3);

        const _ChatGroup* shared = groupOf(groups, "+1555");
        QVERIFY(shared);
        QCOMPARE(shared->lastDate, 70);
        QCOMPARE(shared->chats.size(), 2);
        QVERIFY(shared->chats.contains(older) && shared->chats.contains(newer));
        QList<_MsgMessage*> expected;
        for (const _MsgChat* chat : shared->chats)
            expected << (chat == older ? inOlder : inNewer);
        QCOMPARE(shared->messages(), expected);

        QCOMPARE(groupOf(groups, "+1666")->chats, QList<_MsgChat*>{other});
        const _ChatGroup* blank = groupOf(groups, "");
        QVERIFY(blank);
        QCOMPARE(blank->lastDate, 6);
        QVERIFY(blank->chats.contains(blankA) && blank->chats.contains(blankB));
    }
};

QTEST_GUILESS_MAIN(TestMsgSetPtr)
#include "TestMsgSetPtr.moc"
