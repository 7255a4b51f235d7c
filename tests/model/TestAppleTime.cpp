#include "model/AppleTime.h"

#include <QTest>
#include <QTimeZone>

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
};

QTEST_GUILESS_MAIN(TestAppleTime)
#include "TestAppleTime.moc"
