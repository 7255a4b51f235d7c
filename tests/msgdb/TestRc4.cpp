#include "msgdb/Rc4.h"

#include <QTest>

class TestRc4 : public QObject
{
    Q_OBJECT

private slots:
    void publishedVectors_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<QByteArray>("cipher");
        QTest::newRow("Key") << QByteArray("Key") << QByteArray("Plaintext") << QByteArray::fromHex("BBF316E8D940AF0AD3");
        QTest::newRow("Wiki") << QByteArray("Wiki") << QByteArray("pedia") << QByteArray::fromHex("1021BF0420");
        QTest::newRow("Secret") << QByteArray("Secret") << QByteArray("Attack at dawn")
                                << QByteArray::fromHex("45A01F645FC35B383552544B9BF5");
        QTest::newRow("empty data") << QByteArray("Key") << QByteArray() << QByteArray();
    }
    void publishedVectors()
    {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, plain);
        QFETCH(QByteArray, cipher);
        QCOMPARE(rc4(key, plain), cipher);
        QCOMPARE(rc4(key, cipher), plain);
    }
};

QTEST_GUILESS_MAIN(TestRc4)
#include "TestRc4.moc"
