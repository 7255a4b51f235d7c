#include "model/MsgIdentity.h"

#include <QRegularExpression>
#include <QTest>

class TestMsgIdentity : public QObject
{
    Q_OBJECT

private slots:
    // Expected values computed with python's hashlib from the written rule.
    void chatIdentifier_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("two numbers") << "+15551234567,+15557654321" << "chat830495157111262929";
        QTest::newRow("empty text") << "" << "chat922209552194357126";
    }
    void chatIdentifier()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(makeChatIdentifier(text), expected);
    }

    void chatIdentifierShape()
    {
        static const QRegularExpression shape(QRegularExpression::anchoredPattern("chat[-0-9]{18}"));
        for (const QString& text : {QStringLiteral("a"), QStringLiteral("ünï 😀"), QStringLiteral("+1555")}) {
            const QString id = makeChatIdentifier(text);
            QVERIFY2(shape.match(id).hasMatch(), qPrintable(id));
            QCOMPARE(makeChatIdentifier(text), id);
        }
        QVERIFY(makeChatIdentifier("a") != makeChatIdentifier("b"));
    }

    void guids()
    {
        QCOMPARE(guidFromBytes(QByteArray()), QStringLiteral("D41D8CD9-8F00-B204-E980-0998ECF8427E"));
        QCOMPARE(guidFromBytes("abc"), QStringLiteral("90015098-3CD2-4FB0-D696-3F7D28E17F72"));
        static const QRegularExpression shape(
            QRegularExpression::anchoredPattern("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}"));
        const QString guid = newMessageGuid();
        QVERIFY2(shape.match(guid).hasMatch(), qPrintable(guid));
        QVERIFY(newMessageGuid() != guid);
    }

    void md5OfUtf8()
    {
        QCOMPARE(md5Hex(""), QStringLiteral("d41d8cd98f00b204e9800998ecf8427e"));
        QCOMPARE(md5Hex(QStringLiteral("é")), QStringLiteral("66ddcd97cfdeabb2f6fb8a999b4bc76f"));
    }
};

QTEST_GUILESS_MAIN(TestMsgIdentity)
#include "TestMsgIdentity.moc"
