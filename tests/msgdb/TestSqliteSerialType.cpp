#include "msgdb/SqliteSerialType.h"

#include <QTest>

class TestSqliteSerialType : public QObject
{
    Q_OBJECT

private slots:
    void decode_data()
    {
        QTest::addColumn<qint64>("type");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<int>("taken");
        QTest::newRow("NULL") << qint64(0) << QByteArray::fromHex("01") << QVariant() << 0;
        QTest::newRow("8-bit negative") << qint64(1) << QByteArray::fromHex("80") << QVariant(-128) << 1;
        QTest::newRow("24-bit FF FF FE") << qint64(3) << QByteArray::fromHex("fffffe") << QVariant(-2) << 3;
        QTest::newRow("32-bit") << qint64(4) << QByteArray::fromHex("7fffffff") << QVariant(2147483647) << 4;
        QTest::newRow("48-bit 256") << qint64(5) << QByteArray::fromHex("000000000100") << QVariant(qlonglong(256)) << 6;
        QTest::newRow("48-bit sign extended")
            << qint64(5) << QByteArray::fromHex("ffffffffffff") << QVariant(qlonglong(-1)) << 6;
        QTest::newRow("64-bit") << qint64(6) << QByteArray::fromHex("8000000000000000")
                                << QVariant(qlonglong(std::numeric_limits<qint64>::min())) << 8;
        QTest::newRow("double 1.0") << qint64(7) << QByteArray::fromHex("3ff0000000000000") << QVariant(1.0) << 8;
        QTest::newRow("constant 0") << qint64(8) << QByteArray::fromHex("05") << QVariant(0) << 0;
        QTest::newRow("constant 1") << qint64(9) << QByteArray() << QVariant(1) << 0;
        QTest::newRow("reserved 10 is NULL") << qint64(10) << QByteArray::fromHex("05") << QVariant() << 0;
        QTest::newRow("type above 2^63 - 1 is NULL") << qint64(-5) << QByteArray::fromHex("05") << QVariant() << 0;
        QTest::newRow("blob") << qint64(18) << QByteArray::fromHex("000102ff") << QVariant(QByteArray::fromHex("000102"))
                              << 3;
        QTest::newRow("text ends at its zero byte")
            << qint64(23) << QByteArray("ab\0cd", 5) << QVariant(QString("ab")) << 5;
        QTest::newRow("UTF-8 text") << qint64(23) << QByteArray("\xc3\xa9t\xc3\xa9") << QVariant(QString::fromUtf8("été"))
                                    << 5;
        QTest::newRow("number cut by the end reads 0") << qint64(4) << QByteArray::fromHex("0102") << QVariant(0) << 2;
        QTest::newRow("text cut by the end") << qint64(25) << QByteArray("abc") << QVariant(QString("abc")) << 3;
    }
    void decode()
    {
        QFETCH(qint64, type);
        QFETCH(QByteArray, bytes);
        QFETCH(QVariant, value);
        QFETCH(int, taken);
        const uchar* begin = reinterpret_cast<const uchar*>(bytes.constData());
        const uchar* pos = begin;
        const QVariant decoded = sqlite_serial_type_value(type, pos, begin + bytes.size());
        QCOMPARE(decoded.typeId(), value.typeId());
        QCOMPARE(decoded, value);
        QCOMPARE(int(pos - begin), taken);
    }
};

QTEST_GUILESS_MAIN(TestSqliteSerialType)
#include "TestSqliteSerialType.moc"
