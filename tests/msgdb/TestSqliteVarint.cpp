#include "msgdb/SqliteVarint.h"

#include <QTest>

class TestSqliteVarint : public QObject
{
    Q_OBJECT

private slots:
    void read_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("used");
        QTest::addColumn<qint64>("value");
        QTest::newRow("one byte") << QByteArray::fromHex("7f") << 1 << qint64(127);
        QTest::newRow("three bytes") << QByteArray::fromHex("818000") << 3 << qint64(16384);
        QTest::newRow("stops at the first byte without its top bit") << QByteArray::fromHex("0181") << 1 << qint64(1);
        QTest::newRow("ninth byte takes all eight bits")
            << QByteArray::fromHex("8080808080808080ff") << 9 << qint64(255);
        QTest::newRow("nine bytes of ones are -1") << QByteArray::fromHex("ffffffffffffffffff") << 9 << qint64(-1);
        QTest::newRow("continuation runs into the end") << QByteArray::fromHex("8181") << 0 << qint64(-7);
        QTest::newRow("nothing to read") << QByteArray() << 0 << qint64(-7);
    }
    void read()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, used);
        QFETCH(qint64, value);
        qint64 out = -7; // a failed read leaves it alone
        const uchar* begin = reinterpret_cast<const uchar*>(bytes.constData());
        QCOMPARE(sqlite_read_varint(out, begin, begin + bytes.size()), used);
        QCOMPARE(out, value);
    }

    void lengthMatchesWhatIsRead_data()
    {
        QTest::addColumn<qint64>("value");
        QTest::addColumn<int>("length");
        QTest::newRow("127") << qint64(127) << 1;
        QTest::newRow("128") << qint64(128) << 2;
        QTest::newRow("2^21 - 1") << (qint64(1) << 21) - 1 << 3;
        QTest::newRow("2^49") << (qint64(1) << 49) << 8;
        QTest::newRow("2^56 - 1") << (qint64(1) << 56) - 1 << 8;
        QTest::newRow("2^56") << (qint64(1) << 56) << 9;
        QTest::newRow("negative") << qint64(-1) << 9;
    }
    void lengthMatchesWhatIsRead()
    {
        QFETCH(qint64, value);
        QFETCH(int, length);
        QCOMPARE(sqlite_varint_length(value), length);
    }
};

QTEST_GUILESS_MAIN(TestSqliteVarint)
#include "TestSqliteVarint.moc"
