#include "actions/export/HtmlEscapeText.h"
#include "ui/SmsBrowser.h"

#include "MessageFixture.h"

#include "frame/DataFolder.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTextFrame>
#include <QTextTable>
#include <QUrl>

namespace {

// Records what the view hands to the desktop instead of opening it.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    UrlRecorder() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
    ~UrlRecorder() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened << url; }
};

QString html(SmsBrowser& view)
{
    return view.document()->toHtml();
}

bool atStart(SmsBrowser& view)
{
    return view.textCursor().position() == 0;
}

bool atEnd(SmsBrowser& view)
{
    QTextCursor end(view.document());
    end.movePosition(QTextCursor::End);
    return view.textCursor().position() == end.position();
}

} // namespace

class TestSmsBrowser : public QObject
{
    Q_OBJECT

private slots:
    void escape_data();
    void escape();
    void fiftyMessagesMakeOnePageWithoutLinks();
    void fiftyOneMessagesMakeTwoLinkedPages();
    void pageLinksMoveTheCursor();
    void scrollToMessageShowsItsPageThenScrollsQueued();
    void sentAndReceivedCellOrder();
    void namesAndTextsShowLiterally();
    void emptyListClearsButKeepsPageNumbers();
    void onlyLocalFilesInsideOwnFoldersOpen();
};

void TestSmsBrowser::escape_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("escaped");
    QTest::newRow("markup characters") << "a<b>&c"
                                       << "a&lt;b&gt;&amp;c";
    QTest::newRow("entity stays literal") << "&lt;"
                                          << "&amp;lt;";
    QTest::newRow("CR LF and LF") << "one\r\ntwo\nthree"
                                  << "one<br/>two<br/>three";
    QTest::newRow("lone CR stays") << "one\rtwo"
                                   << "one\rtwo";
    QTest::newRow("quotes stay") << "\"'"
                                 << "\"'";
}

void TestSmsBrowser::escape()
{
    QFETCH(QString, text);
    QFETCH(QString, escaped);
    QCOMPARE(htmlEscapeText(text), escaped);
}

void TestSmsBrowser::fiftyMessagesMakeOnePageWithoutLinks()
{
    MessageFixture fixture;
    SmsBrowser view(nullptr);
    view.setMessages(fixture.addMany(50));
    QCOMPARE(view.pageCount(), 1);
    QCOMPARE(view.currentPage(), 1);
    QVERIFY(!html(view).contains("Previous Page"));
    QVERIFY(!html(view).contains("Next Page"));
    QVERIFY(html(view).contains("message 50"));
}

void TestSmsBrowser::fiftyOneMessagesMakeTwoLinkedPages()
{
    MessageFixture fixture;
    SmsBrowser view(nullptr);
    view.setMessages(fixture.addMany(51));
    QCOMPARE(view.pageCount(), 2);
    QVERIFY(html(view).contains("href=\"/next_page\""));
    QVERIFY(!html(view).contains("/pre_page"));
    QVERIFY(!html(view).contains("message 51<"));

    view.nextPage();
    QCOMPARE(view.currentPage(), 2);
    QVERIFY(html(view).contains("href=\"/pre_page\""));
    QVERIFY(!html(view).contains("/next_page"));
    QVERIFY(html(view).contains("message 51"));
    QVERIFY(!html(view).contains("message 50<"));
    view.nextPage();
    QCOMPARE(view.currentPage(), 2);
}

void TestSmsBrowser::pageLinksMoveTheCursor()
{
    MessageFixture fixture;
    SmsBrowser view(nullptr);
    view.setMessages(fixture.addMany(120));
    QVERIFY(atStart(view));
    view.onAnchorClicked(QUrl(QStringLiteral("/next_page")));
    QCOMPARE(view.currentPage(), 2);
    QVERIFY(atStart(view));
    view.onAnchorClicked(QUrl(QStringLiteral("/pre_page")));
    QCOMPARE(view.currentPage(), 1);
    QVERIFY(atEnd(view));
    view.onAnchorClicked(QUrl(QStringLiteral("/pre_page")));
    QCOMPARE(view.currentPage(), 1);
    view.lastPage();
    QCOMPARE(view.currentPage(), 3);
    QVERIFY(atEnd(view));
    view.firstPage();
    QCOMPARE(view.currentPage(), 1);
    QVERIFY(atStart(view));
}

void TestSmsBrowser::scrollToMessageShowsItsPageThenScrollsQueued()
{
    MessageFixture fixture;
    SmsBrowser view(nullptr);
    view.resize(400, 300);
    view.show();
    const QList<_MsgMessage*> list = fixture.addMany(120);
    view.setMessages(list);

    view.scrollToMessage(50);
    QCOMPARE(view.currentPage(), 2);
    QVERIFY(html(view).contains(QStringLiteral("sms_%1").arg(list.at(50)->rowid)));
    QVERIFY(html(view).contains("Previous Page"));
    // The scroll waits for the event loop, after the new page is laid out.
    QCOMPARE(view.verticalScrollBar()->value(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(view.verticalScrollBar()->value() == 0, 1000);
    view.scrollToMessage(99);
    QCOMPARE(view.currentPage(), 2);
    QTRY_VERIFY_WITH_TIMEOUT(view.verticalScrollBar()->value() > 0, 5000);

    for (int outside : {-1, 120}) {
        view.scrollToMessage(outside);
        QCOMPARE(view.currentPage(), 2);
    }
}

void TestSmsBrowser::sentAndReceivedCellOrder()
{
    MessageFixture fixture;
    SmsBrowser view(nullptr);
    view.setMessages({fixture.add(QStringLiteral("in")), fixture.add(QStringLiteral("out"), true)});
    QList<QTextTable*> tables;
    for (QTextFrame* frame : view.document()->rootFrame()->childFrames()) {
        if (auto* table = qobject_cast<QTextTable*>(frame))
            tables << table;
    }
    QCOMPARE(tables.size(), 2);
    auto cellText = [](QTextTable* table, int row, int column) {
        const QTextTableCell cell = table->cellAt(row, column);
        QTextCursor cursor = cell.firstCursorPosition();
        cursor.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
        return cursor.selectedText();
    };
    // Received on the left half, sent on the right half.
    QVERIFY(cellText(tables[0], 0, 0).contains("From: "));
    QCOMPARE(cellText(tables[0], 1, 0), QStringLiteral("in"));
    QVERIFY(cellText(tables[0], 0, 1).isEmpty());
    QVERIFY(cellText(tables[1], 0, 0).isEmpty());
    QVERIFY(cellText(tables[1], 0, 1).contains("To: "));
    QCOMPARE(cellText(tables[1], 1, 1), QStringLiteral("out"));
}

void TestSmsBrowser::namesAndTextsShowLiterally()
{
    MessageFixture fixture;
    fixture.handle._ct_name = QStringLiteral("<b>x</b> %1");
    SmsBrowser view(nullptr);
    view.setMessages({fixture.add(QStringLiteral("<a href=\"file:///etc\">y</a> & z"))});
    const QString shown = view.toPlainText();
    QVERIFY2(shown.contains(QStringLiteral("From: <b>x</b> %1 (+4915112345678)")), qPrintable(shown));
    QVERIFY(shown.contains(QStringLiteral("<a href=\"file:///etc\">y</a> & z")));
    QVERIFY(!html(view).contains("file:///etc\">"));
}

void TestSmsBrowser::emptyListClearsButKeepsPageNumbers()
{
    MessageFixture fixture;
    SmsBrowser view(nullptr);
    view.setMessages(fixture.addMany(60));
    view.nextPage();
    view.clear();
    QCOMPARE(view.currentPage(), 2);
    QVERIFY(view.toPlainText().isEmpty());
    view.scrollToMessage(0);
    QVERIFY(view.toPlainText().isEmpty());

    view.setMessages({});
    QCOMPARE(view.pageCount(), 0);
    QCOMPARE(view.currentPage(), 0);
    QVERIFY(view.toPlainText().isEmpty());
}

void TestSmsBrowser::onlyLocalFilesInsideOwnFoldersOpen()
{
    UrlRecorder recorder;
    SmsBrowser view(nullptr);
    const QDir data = appDataDir();
    QDir(data).mkpath(QStringLiteral("attachments"));
    QFile inside(data.filePath(QStringLiteral("attachments/photo.jpg")));
    QVERIFY(inside.open(QIODevice::WriteOnly));
    inside.close();
    QTemporaryDir elsewhere;
    QVERIFY(QDir(elsewhere.path()).mkpath(QStringLiteral("x")));
    // A link through a symbolic link inside the data folder to a folder outside it.
    QVERIFY(QFile::link(elsewhere.path(), data.filePath(QStringLiteral("escape"))));

    view.onAnchorClicked(QUrl(QStringLiteral("https://www.veltrominex.example/")));
    view.onAnchorClicked(QUrl::fromLocalFile(elsewhere.filePath(QStringLiteral("x"))));
    view.onAnchorClicked(QUrl::fromLocalFile(data.filePath(QStringLiteral("attachments/../../../etc"))));
    view.onAnchorClicked(QUrl::fromLocalFile(data.filePath(QStringLiteral("escape/x"))));
    QVERIFY(recorder.opened.isEmpty());

    view.onAnchorClicked(QUrl::fromLocalFile(inside.fileName()));
    // A file is shown in its folder, never opened itself.
    QCOMPARE(recorder.opened, QList<QUrl>{QUrl::fromLocalFile(data.filePath(QStringLiteral("attachments")))});
}

QTEST_MAIN(TestSmsBrowser)
#include "TestSmsBrowser.moc"
