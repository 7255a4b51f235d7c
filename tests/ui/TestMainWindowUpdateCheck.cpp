#include "ui/MainWindow.h"

#include "MainWindowFixture.h"
#include "support/MakerServerStub.h"
#include "support/MessageBoxAnswerer.h"
#include "support/UrlRecorder.h"

#include "frame/DataFolder.h"
#include "ui/MakerServerReplies.h"

#include <QDateTime>
#include <QImage>
#include <QJsonObject>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString updatePath = QStringLiteral("/sms_check_update.php");
const QString advPath = QStringLiteral("/adv.php");
const QString pid = QStringLiteral("7D2E91C4A6B84ec3B05F1A8E39D6C2F7");

quint32 now()
{
    return quint32(QDateTime::currentSecsSinceEpoch());
}

QString dataFile(const char* name)
{
    return appDataDir().filePath(QLatin1String(name));
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

void forgetLastCheck()
{
    QFile::remove(dataFile(lastCheckTimeFileName));
    QFile::remove(dataFile(lastAdvFileName));
}

// Long enough for a reply the server already sent to reach its slot.
void settle()
{
    QTest::qWait(500);
}

} // namespace

class TestMainWindowUpdateCheck : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void dailyGate_data();
    void dailyGate();
    void updateReply_data();
    void updateReply();
    void advLink_data();
    void advLink();
    void savedImageIsDroppedAndTheWindowStaysUp();
    void advLinkOpensOnlyWebAddresses();
    void checkForUpdateOpensTheUpdatePage();

private:
    std::unique_ptr<MainWindowFixture> fixture;
    std::unique_ptr<MakerServerStub> server;
};

void TestMainWindowUpdateCheck::initTestCase()
{
    fixture = std::make_unique<MainWindowFixture>();
}

void TestMainWindowUpdateCheck::init()
{
    forgetLastCheck();
    server = std::make_unique<MakerServerStub>();
    QVERIFY(server->listening);
    qputenv("VELTROMINEX_SERVER", server->baseUrl());
}

void TestMainWindowUpdateCheck::dailyGate_data()
{
    QTest::addColumn<QByteArray>("stored"); // "AGE:N" for a time N seconds back
    QTest::addColumn<bool>("asks");
    QTest::newRow("86400 s back") << QByteArray("AGE:86400") << false;
    QTest::newRow("86401 s back") << QByteArray("AGE:86401") << true;
    QTest::newRow("an hour ahead") << QByteArray("AGE:-3600") << true;
    QTest::newRow("not a number") << QByteArray("abc") << true;
    QTest::newRow("no file") << QByteArray() << true;
}

void TestMainWindowUpdateCheck::dailyGate()
{
    QFETCH(QByteArray, stored);
    QFETCH(bool, asks);
    const bool aged = stored.startsWith("AGE:");
    quint32 before = 0;
    quint32 after = 0;
    qsizetype requestsBefore = 0;
    std::unique_ptr<MainWindow> window;
    // The window reads the clock itself: a second that ticks between writing the stored
    // time and building the window would move the silent row off its boundary, so it tries
    // again; a tick only ever makes a window ask, never silences one.
    const bool boundary = aged && !asks;
    for (int attempt = 0; attempt < 5 && (!window || (boundary && before != after)); ++attempt) {
        if (window) {
            // The attempt that ticked may have asked: its requests stay in the log, uncounted.
            window.reset();
            settle();
            requestsBefore = server->requests().size();
        }
        before = now();
        if (aged)
            writeFile(dataFile(lastCheckTimeFileName), QByteArray::number(before - stored.mid(4).toInt()));
        else if (!stored.isEmpty())
            writeFile(dataFile(lastCheckTimeFileName), stored);
        window = std::make_unique<MainWindow>(nullptr);
        after = now();
    }
    QVERIFY(!boundary || before == after);

    if (!asks) {
        settle();
        QCOMPARE(server->requests().size(), requestsBefore);
        QCOMPARE(readFile(dataFile(lastCheckTimeFileName)), QByteArray::number(before - 86400));
        return;
    }
    QVERIFY(server->waitForRequests(2));
    settle();
    QList<LoggedRequest> requests = server->requests();
    QCOMPARE(requests.size(), 2);
    std::sort(requests.begin(), requests.end(),
              [](const LoggedRequest& a, const LoggedRequest& b) { return a.path > b.path; });
    QCOMPARE(requests[0].path, updatePath);
    QCOMPARE(requests[0].query.toString(), QStringLiteral("pid=%1&ver=40&q=1").arg(pid));
    QCOMPARE(requests[1].path, advPath);
    QCOMPARE(requests[1].query.toString(), QStringLiteral("pid=%1").arg(pid));
    // Unknown paths get 404 from the stub: an answer all the same, so the time is noted.
    QTRY_VERIFY(QFile::exists(dataFile(lastCheckTimeFileName)));
    const QByteArray written = readFile(dataFile(lastCheckTimeFileName));
    QCOMPARE(QByteArray::number(written.toUInt()), written);
    QVERIFY(written.toUInt() >= before && written.toUInt() <= now());
}

void TestMainWindowUpdateCheck::updateReply_data()
{
    QTest::addColumn<QJsonObject>("reply");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("opened");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("timeWritten");
    const QString download = QStringLiteral("http://127.0.0.1/setup.bin");
    // Three pieces with pauses: a slot run per piece would ask three times.
    QTest::newRow("offer in pieces, yes")
        << QJsonObject{{"body", "HTTP://127.0.0.1/setup.bin\r\n"}, {"chunks", 3}, {"pause", 0.2}} << int(QMessageBox::Yes)
        << QStringList{download} << true << true;
    QTest::newRow("offer, no") << QJsonObject{{"body", download}} << int(QMessageBox::No) << QStringList() << true
                               << true;
    QTest::newRow("zero") << QJsonObject{{"body", "0"}} << int(QMessageBox::Yes) << QStringList() << false << true;
    QTest::newRow("empty") << QJsonObject{{"body", ""}} << int(QMessageBox::Yes) << QStringList() << false << true;
    QTest::newRow("not found") << QJsonObject{{"status", 404}, {"body", download}} << int(QMessageBox::Yes)
                               << QStringList() << false << true;
    QTest::newRow("oversized offer") << QJsonObject{{"body", download + QString(makerReplyLimit, QLatin1Char('a'))}}
                                     << int(QMessageBox::Yes) << QStringList() << false << true;
    QTest::newRow("no reply") << QJsonObject{{"drop", true}} << int(QMessageBox::Yes) << QStringList() << false
                              << false;
}

void TestMainWindowUpdateCheck::updateReply()
{
    QFETCH(QJsonObject, reply);
    QFETCH(int, answer);
    QFETCH(QStringList, opened);
    QFETCH(bool, asked);
    QFETCH(bool, timeWritten);
    server->setReply(updatePath, reply);
    UrlRecorder urls;
    MessageBoxAnswerer answerer{QMessageBox::StandardButton(answer)};
    MainWindow window(nullptr);
    window.show();
    QVERIFY(server->waitForRequests(2));
    if (timeWritten)
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dataFile(lastCheckTimeFileName)), 10000);
    if (asked)
        QTRY_COMPARE_WITH_TIMEOUT(answerer.texts.size(), 1, 10000);
    if (!opened.isEmpty())
        QTRY_VERIFY(!window.isVisible());
    settle();

    QCOMPARE(answerer.texts.size(), asked ? 1 : 0);
    if (asked) {
        QCOMPARE(answerer.texts.first(), QStringLiteral("A new version of Veltrominex Message Transfer is available. "
                                                        "Would you like to download it now?"));
    }
    QStringList openedTexts;
    for (const QUrl& url : urls.opened)
        openedTexts << url.toString();
    QCOMPARE(openedTexts, opened);
    QCOMPARE(window.isVisible(), opened.isEmpty());
    QCOMPARE(QFile::exists(dataFile(lastCheckTimeFileName)), timeWritten);
}

void TestMainWindowUpdateCheck::advLink_data()
{
    QTest::addColumn<QJsonObject>("reply");
    QTest::addColumn<QString>("shown"); // empty: the saved link stays
    QTest::newRow("upper-case anchor")
        << QJsonObject{{"body", "<A HREF=\"http://127.0.0.1/x\">Deal</A>"}}
        << QStringLiteral("<a style=\"color:#2762DA;text-decoration:none;\" href=\"http://127.0.0.1/x\">Deal</a>");
    QTest::newRow("image after the anchor")
        << QJsonObject{{"body", "<a href=\"http://127.0.0.1/x\">Deal</a><img src=\"red.png\">"}}
        << QStringLiteral("<a style=\"color:#2762DA;text-decoration:none;\" href=\"http://127.0.0.1/x\">Deal</a>");
    QTest::newRow("image in the anchor") << QJsonObject{{"body",
                                                         "<a href=\"http://127.0.0.1/x\"><img src=\"red.png\"></a>"}}
                                         << QString();
    QTest::newRow("not an anchor") << QJsonObject{{"body", "Deal"}} << QString();
    QTest::newRow("server error") << QJsonObject{{"status", 500}, {"body", "<a href=\"http://127.0.0.1/y\">Y</a>"}}
                                  << QString();
    QTest::newRow("local file") << QJsonObject{{"body", "<a href=\"file:///bin/sh\">Run</a>"}} << QString();
    QTest::newRow("no reply") << QJsonObject{{"drop", true}} << QString();
}

void TestMainWindowUpdateCheck::advLink()
{
    QFETCH(QJsonObject, reply);
    QFETCH(QString, shown);
    const QByteArray saved = "<a style=\"color:#2762DA;text-decoration:none;\" href=\"http://127.0.0.1/old\">Old</a>";
    writeFile(dataFile(lastAdvFileName), saved);
    server->setReply(advPath, reply);
    MainWindow window(nullptr);
    auto* label = child<QLabel>(window, "lbAdvLink");
    QVERIFY(label);
    QCOMPARE(label->text(), QString::fromUtf8(saved));
    QVERIFY(server->waitForRequests(2));
    if (!shown.isEmpty())
        QTRY_COMPARE(label->text(), shown);
    settle();

    const QString expected = shown.isEmpty() ? QString::fromUtf8(saved) : shown;
    QCOMPARE(label->text(), expected);
    QCOMPARE(readFile(dataFile(lastAdvFileName)), expected.toUtf8());
}

void TestMainWindowUpdateCheck::savedImageIsDroppedAndTheWindowStaysUp()
{
    QTemporaryDir folder;
    const QString picture = folder.filePath(QStringLiteral("red.png"));
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::red);
    QVERIFY(image.save(picture));
    // As an older program saved a reply whose first anchor pointed at a web page.
    writeFile(dataFile(lastAdvFileName),
              QStringLiteral("<a style=\"color:#2762DA;text-decoration:none;\" href=\"http://127.0.0.1/x\">Deal</a>"
                             "<img src=\"%1\"><img src=\"%1\">")
                  .arg(picture)
                  .toUtf8());
    writeFile(dataFile(lastCheckTimeFileName), QByteArray::number(now()));
    MainWindow window(nullptr);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* label = child<QLabel>(window, "lbAdvLink");
    QCOMPARE(label->text(),
             QStringLiteral("<a style=\"color:#2762DA;text-decoration:none;\" href=\"http://127.0.0.1/x\">Deal</a>"));
    QVERIFY(window.isVisible());

    writeFile(dataFile(lastAdvFileName), QStringLiteral("<img src=\"%1\">").arg(picture).toUtf8());
    MainWindow second(nullptr);
    QCOMPARE(child<QLabel>(second, "lbAdvLink")->text(), QString());
    QVERIFY(!QFile::exists(dataFile(lastAdvFileName)));
}

void TestMainWindowUpdateCheck::advLinkOpensOnlyWebAddresses()
{
    UrlRecorder urls;
    MainWindow window(nullptr);
    auto* label = child<QLabel>(window, "lbAdvLink");
    QVERIFY(!label->openExternalLinks());
    for (const char* link : {"http://127.0.0.1/a", "https://127.0.0.1/b", "file:///bin/sh", "ftp://127.0.0.1/c",
                             "javascript:alert(1)", "/etc/passwd"})
        emit label->linkActivated(QString::fromLatin1(link));
    QCOMPARE(urls.opened, (QList<QUrl>{QUrl("http://127.0.0.1/a"), QUrl("https://127.0.0.1/b")}));
}

void TestMainWindowUpdateCheck::checkForUpdateOpensTheUpdatePage()
{
    writeFile(dataFile(lastCheckTimeFileName), QByteArray::number(now()));
    UrlRecorder urls;
    MainWindow window(nullptr);
    QVERIFY(QMetaObject::invokeMethod(&window, "miCheckUpdate"));
    QCOMPARE(urls.opened,
             QList<QUrl>{QUrl(server->baseUrl() + "/sms_check_update.php?pid=7D2E91C4A6B84ec3B05F1A8E39D6C2F7&ver=40")});
    // Nothing is read back: the page is the browser's.
    settle();
    QCOMPARE(server->requests().size(), 0);
}

QTEST_MAIN(TestMainWindowUpdateCheck)
#include "TestMainWindowUpdateCheck.moc"
#include "support/moc_UrlRecorder.cpp"
