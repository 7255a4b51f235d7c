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
    void savedAdvLinkFollowsTheReplyRule_data();
    void savedAdvLinkFollowsTheReplyRule();
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
    const QString link = QStringLiteral("<a style=\"color:#2762DA;text-decoration:none;\" href=\"%1\">%2</a>");
    QTest::newRow("upper-case anchor") << QByteArray("<A HREF=\"http://127.0.0.1/x\">Deal</A>")
                                       << link.arg("http://127.0.0.1/x", "Deal");
    QTest::newRow("https, single quotes, blanks")
        << QByteArray("<a\n  href = 'https://127.0.0.1/y' >Y</a >\r\n") << link.arg("https://127.0.0.1/y", "Y");
    QTest::newRow("unquoted, other attributes left out")
        << QByteArray("<a target=_blank href=http://127.0.0.1/z style=\"background:url(red.png)\" "
                      "href=\"file:///bin/sh\">Z</a>")
        << link.arg("http://127.0.0.1/z", "Z");
    QTest::newRow("references read once, written once")
        << QByteArray(
               "<a href=\"http://127.0.0.1/q?a=1&amp;b=2\">Tom &amp; Jerry &lt;3 &#8364;&#x20AC; &bogus; 50%1</a>")
        << link.arg("http://127.0.0.1/q?a=1&amp;b=2",
                    QString::fromUtf8("Tom &amp; Jerry &lt;3 \u20ac\u20ac &amp;bogus; 50%1"));
    QTest::newRow("what follows the anchor is left out")
        << QByteArray("<a href=\"http://127.0.0.1/x\">Deal</a><img src=\"red.png\">")
        << link.arg("http://127.0.0.1/x", "Deal");
    QTest::newRow("markup inside the anchor")
        << QByteArray("<a href=\"http://127.0.0.1/x\">Deal<img src=\"red.png\"></a>") << QString();
    QTest::newRow("image before the anchor")
        << QByteArray("<img src=\"red.png\"><a href=\"http://127.0.0.1/x\">x</a>") << QString();
    QTest::newRow("anchor never closed") << QByteArray("<a href=\"http://127.0.0.1/x\">Deal") << QString();
    QTest::newRow("quote never closed") << QByteArray("<a href=\"http://127.0.0.1/x>Deal</a>") << QString();
    QTest::newRow("another tag") << QByteArray("<abbr href=\"http://127.0.0.1/x\">Deal</abbr>") << QString();
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
    const QString link = decoratedAdvLink("<a href=\"http://127.0.0.1/x\">Angebot \xc3\xbc &amp; mehr</a>");
    saveAdvLink(data, link);
    QCOMPARE(savedAdvLink(data), link);
    writeFile(data, lastAdvFileName, link.toUtf8() + QByteArray("\0tail", 5));
    QCOMPARE(savedAdvLink(data), link);
}

void TestMakerServerReplies::savedAdvLinkFollowsTheReplyRule_data()
{
    QTest::addColumn<QByteArray>("saved");
    QTest::addColumn<QString>("label"); // empty: the file is removed
    const QString today =
        QStringLiteral("<a style=\"color:#2762DA;text-decoration:none;\" href=\"http://127.0.0.1/x\">Deal</a>");
    QTest::newRow("as this program writes it") << today.toUtf8() << today;
    QTest::newRow("as an older program wrote a reply") << QByteArray(
        "<a style=\"color:#2762DA;text-decoration:none;\" HREF=\"http://127.0.0.1/x\" target=\"_blank\">Deal</A>")
                                                       << today;
    QTest::newRow("image in the text") << QByteArray(
        "<a style=\"color:#2762DA;text-decoration:none;\" href=\"http://127.0.0.1/x\"><img src=\"red.png\"></a>")
                                       << QString();
    QTest::newRow("an image alone") << QByteArray("<img src=\"red.png\">") << QString();
    QTest::newRow("empty") << QByteArray() << QString();
}

void TestMakerServerReplies::savedAdvLinkFollowsTheReplyRule()
{
    QFETCH(QByteArray, saved);
    QFETCH(QString, label);
    QTemporaryDir folder;
    const QDir data(folder.path());
    writeFile(data, lastAdvFileName, saved);
    QCOMPARE(savedAdvLink(data), label);
    QCOMPARE(data.exists(QLatin1String(lastAdvFileName)), !label.isEmpty());
}

QTEST_GUILESS_MAIN(TestMakerServerReplies)
#include "TestMakerServerReplies.moc"
