#include "model/ChatGroup.h"
#include "model/MsgChat.h"
#include "model/MsgMessage.h"
#include "model/SafeSort.h"
#include "model/SortPredicates.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <vector>

namespace {

using Pointers = QList<_MsgMessage*>;

Pointers pointersTo(std::vector<_MsgMessage>& messages)
{
    Pointers result;
    for (_MsgMessage& m : messages)
        result << &m;
    return result;
}

bool samePermutation(Pointers a, Pointers b)
{
    std::sort(a.begin(), a.end(), std::less<>());
    std::sort(b.begin(), b.end(), std::less<>());
    return a == b;
}

} // namespace

class TestSafeSort : public QObject
{
    Q_OBJECT

private slots:
    // Equal dates and sequence numbers a few apart make the message order intransitive
    // over the whole list, and messageGreaterThan true for every pair of equals.
    void inconsistentMessagesStayAPermutation_data()
    {
        QTest::addColumn<bool>("descending");
        QTest::addColumn<int>("seqStep");
        QTest::newRow("ascending, seq three apart") << false << 3;
        QTest::newRow("descending, seq three apart") << true << 3;
        QTest::newRow("descending, all equal") << true << 0;
    }
    void inconsistentMessagesStayAPermutation()
    {
        QFETCH(bool, descending);
        QFETCH(int, seqStep);
        std::vector<_MsgMessage> messages(5000);
        QRandomGenerator random(7);
        for (size_t i = 0; i < messages.size(); ++i) {
            messages[i].seq = qint64(i) * seqStep;
            messages[i].date = 1000 + random.bounded(3) * 200;
        }
        const Pointers input = pointersTo(messages);
        Pointers sorted = input;
        if (descending)
            safeSort(sorted, messageGreaterThan);
        else
            safeSort(sorted, messageLessThan);
        QVERIFY(samePermutation(sorted, input));
    }

    void consistentMessagesFollowDate_data()
    {
        QTest::addColumn<bool>("descending");
        QTest::newRow("ascending") << false;
        QTest::newRow("descending") << true;
    }
    void consistentMessagesFollowDate()
    {
        QFETCH(bool, descending);
        std::vector<_MsgMessage> messages(2000);
        QList<qint32> dates;
        for (size_t i = 0; i < messages.size(); ++i)
            dates << qint32(i) * 121;
        std::shuffle(dates.begin(), dates.end(), *QRandomGenerator::global());
        for (size_t i = 0; i < messages.size(); ++i) {
            messages[i].seq = qint64(i);
            messages[i].date = dates[qsizetype(i)];
        }
        Pointers sorted = pointersTo(messages);
        safeSort(sorted, descending ? messageGreaterThan : messageLessThan);
        for (qsizetype i = 1; i < sorted.size(); ++i) {
            const bool inOrder = descending ? sorted[i - 1]->date > sorted[i]->date
                                            : sorted[i - 1]->date < sorted[i]->date;
            QVERIFY2(inOrder, qPrintable(QString::number(i)));
        }
    }

    void nearbyMessagesFollowSeq()
    {
        std::vector<_MsgMessage> messages(4);
        const qint64 seqs[] = {13, 10, 12, 11};
        for (size_t i = 0; i < messages.size(); ++i) {
            messages[i].seq = seqs[i];
            messages[i].date = 5000 - qint32(seqs[i]); // later rows carry earlier dates
        }
        Pointers sorted = pointersTo(messages);
        safeSort(sorted, messageLessThan);
        QList<qint64> order;
        for (const _MsgMessage* m : sorted)
            order << m->seq;
        QCOMPARE(order, (QList<qint64>{10, 11, 12, 13}));
    }

    void newerFirstKeepsTiesInInputOrder()
    {
        _MsgChat chats[5];
        const qint32 dates[] = {50, 70, 60, 70, 50};
        QList<_ChatGroup> groups;
        for (int i = 0; i < 5; ++i)
            groups.append(_ChatGroup{{&chats[i]}, dates[i]});
        safeSort(groups, chatGroupNewerFirst);
        QList<_MsgChat*> order;
        for (const _ChatGroup& group : groups)
            order << group.chats.first();
        QCOMPARE(order, (QList<_MsgChat*>{&chats[1], &chats[3], &chats[2], &chats[0], &chats[4]}));
    }
};

QTEST_GUILESS_MAIN(TestSafeSort)
#include "TestSafeSort.moc"
