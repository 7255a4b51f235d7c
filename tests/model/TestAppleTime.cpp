#include "model/AppleTime.h"

#include <QTest>
#include <QTimeZone>

#include <limits>

class TestAppleTime : public QObject
{
    Q_OBJECT

private slots:
    void dateTimeFromAppleTime_data()
    {
        QTest::addColumn<qint32>("seconds");
        QTest::addColumn<QDateTime>("expected");
        QTest::newRow("the epoch") << 0 << QDateTime(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
        QTest::newRow("after 2038") << 1200000000
                                    << QDateTime(QDate(2039, 1, 10), QTime(21, 20), QTimeZone::utc());
        QTest::newRow("before 1970 wraps as unsigned")
            << -978307201 << QDateTime(QDate(2106, 2, 7), QTime(6, 28, 15), QTimeZone::utc());
    }
    void dateTimeFromAppleTime()
    {
        QFETCH(qint32, seconds);
        QFETCH(QDateTime, expected);
        const QDateTime local = ::dateTimeFromAppleTime(seconds);
        QCOMPARE(local.timeSpec(), Qt::LocalTime);
        QCOMPARE(local.toUTC(), expected);
    }

    void appleSecondsFromStored_data()
    {
        QTest::addColumn<qint64>("stored");
        QTest::addColumn<qint32>("seconds");
        QTest::newRow("seconds, iOS 6") << qint64(400000000) << 400000000;
        QTest::newRow("the largest count taken as seconds") << qint64(100000000000) << std::numeric_limits<qint32>::max();
        QTest::newRow("nanoseconds, iOS 12, December 2019") << qint64(598000000123456789) << 598000000;
        QTest::newRow("nanoseconds before 2001") << qint64(-31536000000000000) << -31536000;
        QTest::newRow("zero, no date") << qint64(0) << 0;
    }
    void appleSecondsFromStored()
    {
        QFETCH(qint64, stored);
        QFETCH(qint32, seconds);
        QCOMPARE(::appleSecondsFromStored(stored), seconds);
    }
};

QTEST_GUILESS_MAIN(TestAppleTime)
#include "TestAppleTime.moc"
