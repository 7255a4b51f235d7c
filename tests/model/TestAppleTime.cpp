#include "model/AppleTime.h"

#include <QTest>
#include <QTimeZone>

#include <limits>

namespace {

constexpr qint32 largest = std::numeric_limits<qint32>::max();
constexpr qint32 smallest = std::numeric_limits<qint32>::min();

} // namespace

class TestAppleTime : public QObject
{
    Q_OBJECT

private slots:
    void dateTimeFromAppleTime_data()
    {
        QTest::addColumn<qint32>("seconds");
        QTest::addColumn<QDateTime>("expected");
        const auto utc = [](int y, int mo, int d, int h, int mi, int s) {
            return QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone::utc());
        };
        QTest::newRow("the epoch") << 0 << utc(2001, 1, 1, 0, 0, 0);
        QTest::newRow("a second before the epoch") << -1 << utc(2000, 12, 31, 23, 59, 59);
        QTest::newRow("after 2038") << 1200000000 << utc(2039, 1, 10, 21, 20, 0);
        QTest::newRow("a second before 1970") << -978307201 << utc(1969, 12, 31, 23, 59, 59);
        QTest::newRow("1950") << qint32(-1609459200) << utc(1950, 1, 1, 0, 0, 0);
        QTest::newRow("the last date a record holds") << largest << utc(2069, 1, 19, 3, 14, 7);
        QTest::newRow("the first date a record holds") << smallest << utc(1932, 12, 13, 20, 45, 52);
    }
    void dateTimeFromAppleTime()
    {
        QFETCH(qint32, seconds);
        QFETCH(QDateTime, expected);
        const QDateTime local = ::dateTimeFromAppleTime(seconds);
        QCOMPARE(local.timeSpec(), Qt::LocalTime);
        QCOMPARE(local.toUTC(), expected);
    }

    // A stored date a record cannot hold gives no seconds at all; ordering holds it at
    // the end of the range instead.
    void appleSecondsFromStored_data()
    {
        QTest::addColumn<qint64>("stored");
        QTest::addColumn<bool>("held");
        QTest::addColumn<qint32>("ordering");
        QTest::newRow("seconds, iOS 6") << qint64(400000000) << true << 400000000;
        QTest::newRow("nanoseconds, iOS 12, December 2019") << qint64(598000000123456789) << true << 598000000;
        QTest::newRow("nanoseconds before 2001") << qint64(-31536000000000000) << true << -31536000;
        QTest::newRow("zero, no date") << qint64(0) << true << 0;
        QTest::newRow("a second before 1970") << qint64(-978307201) << true << -978307201;
        QTest::newRow("the last second held") << qint64(largest) << true << largest;
        QTest::newRow("the first second held") << qint64(smallest) << true << smallest;
        QTest::newRow("2070 in seconds") << qint64(2177452800) << false << largest;
        QTest::newRow("2100 in seconds") << qint64(3124137600) << false << largest;
        QTest::newRow("the largest count taken as seconds") << qint64(100000000000) << false << largest;
        QTest::newRow("2100 in nanoseconds") << qint64(3124137600) * nanosecondsPerSecond << false << largest;
        QTest::newRow("before 1932") << qint64(smallest) - 1 << false << smallest;
    }
    void appleSecondsFromStored()
    {
        QFETCH(qint64, stored);
        QFETCH(bool, held);
        QFETCH(qint32, ordering);
        const std::optional<qint32> seconds = ::appleSecondsFromStored(stored);
        QCOMPARE(seconds.has_value(), held);
        if (held)
            QCOMPARE(*seconds, ordering);
        QCOMPARE(::appleSecondsForOrdering(stored), ordering);
    }
};

QTEST_GUILESS_MAIN(TestAppleTime)
#include "TestAppleTime.moc"
