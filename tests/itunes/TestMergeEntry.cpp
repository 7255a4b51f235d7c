#include "itunes/MergeEntry.h"

#include <QTest>

#include <limits>

Q_DECLARE_METATYPE(_MergeEntry)

namespace {

_MergeEntry entry(qint64 seq, qint32 date, bool existing)
{
    _MergeEntry e;
    e.seq = seq;
    e.date = date;
    e.existing = existing;
    return e;
}

_MergeEntry backupRow(qint64 seq, qint32 date)
{
    return entry(seq, date, true);
}

_MergeEntry newMessage(qint64 seq, qint32 date)
{
    return entry(seq, date, false);
}

} // namespace

class TestMergeEntry : public QObject
{
    Q_OBJECT

private slots:
    void order_data()
    {
        QTest::addColumn<_MergeEntry>("a");
        QTest::addColumn<_MergeEntry>("b");
        QTest::addColumn<bool>("aFirst");
        QTest::addColumn<bool>("bFirst");

        QTest::newRow("close: the lower seq goes first, whatever the dates")
            << backupRow(50, 1000) << newMessage(45, 1030) << false << true;
        QTest::newRow("far in seq: the earlier date goes first")
            << backupRow(50, 1000) << newMessage(75, 990) << false << true;
        QTest::newRow("dates 121 seconds apart: by date, though seq is close")
            << backupRow(10, 1121) << newMessage(12, 1000) << false << true;
        QTest::newRow("equal seq and date: the backup row goes first")
            << backupRow(50, 1000) << newMessage(50, 1000) << true << false;
        QTest::newRow("far in seq with equal dates: the backup row goes first")
            << newMessage(500, 1000) << backupRow(5, 1000) << false << true;
        QTest::newRow("two backup rows with equal keys are in no order")
            << backupRow(50, 1000) << backupRow(50, 1000) << false << false;
        QTest::newRow("two backup rows far apart with equal dates are in no order")
            << backupRow(5, 1000) << backupRow(500, 1000) << false << false;
        QTest::newRow("two new messages with equal keys are in no order")
            << newMessage(7, 1000) << newMessage(7, 1000) << false << false;
        QTest::newRow("row ids at the ends of the range are far apart, not close")
            << backupRow(std::numeric_limits<qint64>::max(), 1000)
            << newMessage(std::numeric_limits<qint64>::min(), 1001) << true << false;
    }

    void order()
    {
        QFETCH(_MergeEntry, a);
        QFETCH(_MergeEntry, b);
        QFETCH(bool, aFirst);
        QFETCH(bool, bFirst);
        QCOMPARE(compareMergeEntries(a, b), aFirst);
        QCOMPARE(compareMergeEntries(b, a), bFirst);
    }

    void noEntryGoesBeforeItself()
    {
        const _MergeEntry row = backupRow(3, 1000);
        const _MergeEntry message = newMessage(3, 1000);
        QVERIFY(!compareMergeEntries(row, row));
        QVERIFY(!compareMergeEntries(message, message));
    }
};

QTEST_GUILESS_MAIN(TestMergeEntry)
#include "TestMergeEntry.moc"
