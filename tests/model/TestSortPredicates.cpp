#include "model/ChatGroup.h"
#include "model/MsgChat.h"
#include "model/MsgMessage.h"
#include "model/SortPredicates.h"

#include <QTest>

#include <limits>

namespace {

_MsgMessage message(qint64 seq, qint32 date)
{
    _MsgMessage m;
    m.seq = seq;
    m.date = date;
    return m;
}

} // namespace

class TestSortPredicates : public QObject
{
    Q_OBJECT

private slots:
    void messageOrder_data()
    {
        QTest::addColumn<qint64>("seqA");
        QTest::addColumn<qint32>("dateA");
        QTest::addColumn<qint64>("seqB");
        QTest::addColumn<qint32>("dateB");
        QTest::addColumn<bool>("aLess");
        QTest::addColumn<bool>("bLess");
        QTest::newRow("close in seq and date: seq decides")
            << qint64(110) << 1000 << qint64(100) << 1100 << false << true;
        QTest::newRow("seq 21 apart: date decides") << qint64(121) << 1000 << qint64(100) << 1100 << true << false;
        QTest::newRow("dates 121 s apart: date decides")
            << qint64(110) << 1000 << qint64(100) << 1121 << true << false;
        QTest::newRow("dates exactly 120 s apart: seq decides")
            << qint64(120) << 1000 << qint64(100) << 1120 << false << true;
        QTest::newRow("seq 21 apart, equal dates: neither")
            << qint64(121) << 1000 << qint64(100) << 1000 << false << false;
        QTest::newRow("equal seq, close dates: neither") << qint64(5) << 1000 << qint64(5) << 1001 << false << false;
        QTest::newRow("equal seq, far dates: date decides") << qint64(5) << 999 << qint64(5) << 2000 << true << false;
        QTest::newRow("recycled seq far from a live one")
            << qint64(2047483648) + 3 << 1000 << qint64(3) << 1001 << true << false;
        QTest::newRow("seq difference beyond 64 bits")
            << std::numeric_limits<qint64>::max() << 1000 << std::numeric_limits<qint64>::min() << 1001 << true
            << false;
        QTest::newRow("date difference beyond 32 bits")
            << qint64(1) << std::numeric_limits<qint32>::max() << qint64(2) << std::numeric_limits<qint32>::min()
            << false << true;
    }
    void messageOrder()
    {
        QFETCH(qint64, seqA);
        QFETCH(qint32, dateA);
        QFETCH(qint64, seqB);
        QFETCH(qint32, dateB);
        QFETCH(bool, aLess);
        QFETCH(bool, bLess);
        const _MsgMessage a = message(seqA, dateA);
        const _MsgMessage b = message(seqB, dateB);
        QCOMPARE(messageLessThan(&a, &b), aLess);
        QCOMPARE(messageLessThan(&b, &a), bLess);
        QCOMPARE(messageGreaterThan(&a, &b), !aLess);
        QCOMPARE(messageGreaterThan(&b, &a), !bLess);
    }

    void newerFirstIsTrueForEqualDates()
    {
        _MsgChat older, newer, sameAsNewer;
        older.lastDate = 50;
        newer.lastDate = 70;
        sameAsNewer.lastDate = 70;
        QVERIFY(chatNewerFirst(&newer, &older));
        QVERIFY(!chatNewerFirst(&older, &newer));
        QVERIFY(chatNewerFirst(&newer, &sameAsNewer) && chatNewerFirst(&sameAsNewer, &newer));

        const _ChatGroup a{{}, 50}, b{{}, 70}, c{{}, 70};
        QVERIFY(chatGroupNewerFirst(b, a));
        QVERIFY(!chatGroupNewerFirst(a, b));
        QVERIFY(chatGroupNewerFirst(b, c) && chatGroupNewerFirst(c, b));
    }

    void lessThanId64ComparesSigned()
    {
        _MsgMessage recycled, live;
        recycled.rowid = -2047483648LL - 5;
        live.rowid = 1;
        QVERIFY(lessThanId64(&recycled, &live));
        QVERIFY(!lessThanId64(&live, &recycled));
        QVERIFY(!lessThanId64(&live, &live));
    }
};

QTEST_GUILESS_MAIN(TestSortPredicates)
#include "TestSortPredicates.moc"
