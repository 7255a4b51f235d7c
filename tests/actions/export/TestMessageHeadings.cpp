#include "actions/export/MessageHeadings.h"

#include "msgdb/RecordBuilder.h"

#include <QTest>

class TestMessageHeadings : public QObject
{
    Q_OBJECT

private slots:
    void groupMessagesNameTheirSender_data();
    void groupMessagesNameTheirSender();
    void namesInTheirOwnDirectionAreIsolated();
};

void TestMessageHeadings::groupMessagesNameTheirSender_data()
{
    QTest::addColumn<bool>("group");
    QTest::addColumn<bool>("fromMe");
    QTest::addColumn<bool>("withHandle");
    QTest::addColumn<QString>("withIds");
    QTest::addColumn<QString>("withoutIds");
    QTest::newRow("received in a group, sender in the address book") << true << false << true << "Team (Ann)"
                                                                     << "Team (Ann)";
    QTest::newRow("sent to a group") << true << true << false << "Team"
                                     << "Team";
    QTest::newRow("received in a group without a handle") << true << false << false << "Team"
                                                          << "Team";
    QTest::newRow("received one to one") << false << false << true << "Ann (+15550000001)"
                                         << "Ann";
}

void TestMessageHeadings::groupMessagesNameTheirSender()
{
    QFETCH(bool, group);
    QFETCH(bool, fromMe);
    QFETCH(bool, withHandle);
    QFETCH(QString, withIds);
    QFETCH(QString, withoutIds);
    RecordBuilder b;
    _MsgHandle* ann = b.handle(1, "+15550000001");
    ann->_ct_name = "Ann";
    _MsgHandle* unnamed = b.handle(2, "+15550000002");
    const QList<_MsgHandle*> members = group ? QList<_MsgHandle*>{ann, unnamed} : QList<_MsgHandle*>{ann};
    _MsgChat* chat = b.chat(1, "chat", members);
    if (group)
        chat->display_name = "Team";
    _MsgMessage* m = b.message(1, chat, withHandle ? ann : nullptr, 100, "text");
    m->is_from_me = fromMe ? 1 : 0;

    QCOMPARE(chatNameWithSender(*m, true), withIds);
    QCOMPARE(chatNameWithSender(*m, false), withoutIds);
    const _MsgHandle* expectedSender = group && !fromMe && withHandle ? ann : nullptr;
    QCOMPARE(groupSender(*m), expectedSender);

    // A sender the address book does not know goes by the handle.
    m->handle = unnamed;
    if (groupSender(*m))
        QCOMPARE(chatNameWithSender(*m, false), "Team (+15550000002)");
    // A message without a chat has no name at all.
    m->chat = nullptr;
    QCOMPARE(chatNameWithSender(*m, true), QString());
}

void TestMessageHeadings::namesInTheirOwnDirectionAreIsolated()
{
    const auto isolated = [](const QString& name) { return QChar(0x2068) + name + QChar(0x2069); };
    RecordBuilder b;
    _MsgHandle* ann = b.handle(1, "+15550000001");
    ann->_ct_name = "Ann";
    _MsgHandle* unnamed = b.handle(2, "+15550000002");
    _MsgChat* withAnn = b.chat(1, "one", {ann});
    _MsgChat* group = b.chat(2, "group", {ann, unnamed});
    group->display_name = "Team";
    _MsgMessage* fromAnn = b.message(1, withAnn, ann, 100, "text");
    _MsgMessage* inGroup = b.message(2, group, unnamed, 100, "text");

    // Ids and handles are never names: they keep the heading's direction.
    QCOMPARE(chatNameWithSender(*fromAnn, true, NameDirection::Own), isolated("Ann") + " (+15550000001)");
    QCOMPARE(chatNameWithSender(*inGroup, true, NameDirection::Own), isolated("Team") + " (+15550000002)");
    inGroup->handle = ann;
    QCOMPARE(chatNameWithSender(*inGroup, false, NameDirection::Own), isolated("Team") + " (" + isolated("Ann") + ")");
}

QTEST_GUILESS_MAIN(TestMessageHeadings)
#include "TestMessageHeadings.moc"
