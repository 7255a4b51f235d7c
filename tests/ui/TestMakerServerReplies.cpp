#include "ui/MakerServerReplies.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

namespace {

void writeFile(const QDir& folder, const char* name, const QByteArray& bytes)
{
    QFile file(folder.filePath(QLatin1String(name)));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

constexpr quint32 now = 2000000000u;

} // namespace

class TestMakerServerReplies : public QObject
{
    Q_OBJECT

private slots:
    void dailyGate_data();
    void dailyGate();
    void requestAddresses();
    void downloadOffer_data();
    void downloadOffer();
    void advLink_data();
    void advLink();
    void advLinkSavedUpToNul();
};

void TestMakerServerReplies::dailyGate_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<bool>("due");
    QTest::newRow("86400 s back") << QByteArray::number(now - 86400) << false;
    QTest::newRow("86401 s back") << QByteArray::number(now - 86401) << true;
    QTest::newRow("an hour ahead") << QByteArray::number(now + 3600) << true;
    QTest::newRow("not a number") << QByteArray("abc") << true;
    QTest::newRow("zero") << QByteArray("0") << true;
    QTest::newRow("cut at NUL") << QByteArray::number(now - 10) + QByteArray("\0" "9", 2) << false;
}

void TestMakerServerReplies::dailyGate()
{
    QFETCH(QByteArray, stored);
    QFETCH(bool, due);
    QTemporaryDir folder;
    const QDir data(folder.path());
    QVERIFY(updateCheckDue(data, now));
    writeFile(data, lastCheckTimeFileName, stored);
    QCOMPARE(updateCheckDue(data, now), due);
    writeLastCheckTime(data, now);
    QVERIFY(!updateCheckDue(data, now + 86400));
}

void TestMakerServerReplies::requestAddresses()
{
    qputenv("VELTROMINEX_SERVER", "http://127.0.0.1:8123/");
    QCOMPARE(updateCheckUrl().toString(),
             QStringLiteral("http://127.0.0.1:8123/sms_check_update.php?pid=7D2E91C4A6B84ec3B05F1A8E39D6C2F7&ver=40&q=1"));
    QCOMPARE(updatePageUrl().toString(),
             QStringLiteral("http://127.0.0.1:8123/sms_check_update.php?pid=7D2E91C4A6B84ec3B05F1A8E39D6C2F7&ver=40"));
    QCOMPARE(advLinkUrl().toString(), QStringLiteral("http://127.0.0.1:8123/adv.php?pid=7D2E91C4A6B84ec3B05F1A8E39D6C2F7"));
}

void TestMakerServerReplies::downloadOffer_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("url");
    QTest::newRow("upper-case prefix, line end") << QByteArray("HTTP://127.0.0.1/setup.bin\r\n")
                                                 << QStringLiteral("http://127.0.0.1/setup.bin");
    QTest::newRow("zero") << QByteArray("0") << QString();
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("leading space") << QByteArray(" http://127.0.0.1/x") << QString();
    QTest::newRow("no host") << QByteArray("http://") << QString();
    QTest::newRow("other scheme") << QByteArray("file:///bin/sh") << QString();
}

void TestMakerServerReplies::downloadOffer()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, url);
    QCOMPARE(offeredDownload(body).toString(), url);
}

void TestMakerServerReplies::advLink_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("label");
    QTest::newRow("upper-case anchor")
        << QByteArray("<A HREF=\"http://127.0.0.1/x\">Deal</A>")
        << QStringLiteral("<a style=\"color:#2762DA;text-decoration:none;\" HREF=\"http://127.0.0.1/x\">Deal</A>");
    QTest::newRow("https") << QByteArray("<a href='https://127.0.0.1/y'>Y</a>")
                           << QStringLiteral("<a style=\"color:#2762DA;text-decoration:none;\" href='https://127.0.0.1/y'>Y</a>");
    QTest::newRow("not an anchor") << QByteArray("Deal") << QString();
    QTest::newRow("local file") << QByteArray("<a href=\"file:///etc/passwd\">x</a>") << QString();
    QTest::newRow("no target") << QByteArray("<a>x</a>") << QString();
}

void TestMakerServerReplies::advLink()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, label);
    QCOMPARE(decoratedAdvLink(body), label);
}

void TestMakerServerReplies::advLinkSavedUpToNul()
{
    QTemporaryDir folder;
    const QDir data(folder.path());
    QCOMPARE(savedAdvLink(data), QString());
    const QString link = decoratedAdvLink("<a href=\"http://127.0.0.1/x\">Angebot \xc3\xbc</a>");
    saveAdvLink(data, link);
    QCOMPARE(savedAdvLink(data), link);
    writeFile(data, lastAdvFileName, link.toUtf8() + QByteArray("\0tail", 5));
    QCOMPARE(savedAdvLink(data), link);
}

QTEST_GUILESS_MAIN(TestMakerServerReplies)
#include "TestMakerServerReplies.moc"
