#include "ui/ExportSMSPdf.h"

#include "support/FileSizeLimit.h"
#include "ui/ExportFixture.h"
#include "ui/MessagePagePainter.h"

#include <QFile>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The text of each page; ligatures the font drew ("ff" as one glyph) are letters again.
QStringList pdfPages(const QString& path)
{
    return QString::fromUtf8(runCli("pdftotext", {"-layout", path, "-"}).out)
        .normalized(QString::NormalizationForm_KC)
        .split('\f', Qt::SkipEmptyParts);
}

QString pdfInfo(const QString& path)
{
    return QString::fromUtf8(runCli("pdfinfo", {path}).out);
}

QString lastText(const QString& page)
{
    return page.trimmed().split('\n').last().trimmed();
}

// A PDF of the messages, one chat of Alice's.
QString exportedPdf(const QTemporaryDir& dir, const QStringList& texts)
{
    ExportFixture f;
    QList<_MsgMessage*> messages;
    for (int i = 0; i < texts.size(); ++i)
        messages << f.b.message(100 + i, f.list[0]->chat, nullptr, 1000 + i, texts[i]);
    const QString path = dir.filePath("chat.pdf");
    ExportSMSPdf pdf(path);
    exportAll(pdf, messages);
    return path;
}

} // namespace

class TestExportSMSPdf : public QObject
{
    Q_OBJECT

private slots:
    void contentRectFollowsMarginsInPoints();
    void everyTextLandsOnNumberedA4Pages();
    void tallMessageContinuesOnTheNextPages();
    void runWiderThanTheLineBreaksAnywhere();
    void emptyFileHasOnePageNumberedOne();
    void uncreatableFileFailsAtBegin();
    void cutShortFileFailsAtEnd();
};

void TestExportSMSPdf::contentRectFollowsMarginsInPoints()
{
    QTemporaryDir dir;
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath("p.pdf"));
    setMessagePageLayout(printer);
    MessagePagePainter pages;
    QVERIFY(pages.begin(&printer));
    QCOMPARE(pages.contentRect(), QRect(20, 20, 699, 1029));
    QCOMPARE(pages.currentPage(), 1);
}

void TestExportSMSPdf::everyTextLandsOnNumberedA4Pages()
{
    ExportFixture f;
    QList<_MsgMessage*> messages = f.list;
    for (int i = 0; i < 60; ++i)
        messages << f.b.message(100 + i, f.list[0]->chat, nullptr, 1000 + i,
                                QStringLiteral("Medium message %1 ").arg(i)
                                    + QString("lorem ipsum dolor ").repeated(6));
    QTemporaryDir dir;
    const QString path = dir.filePath("chat.pdf");
    {
        ExportSMSPdf pdf(path);
        exportAll(pdf, messages);
    }
    QVERIFY(pdfInfo(path).contains(QRegularExpression("Page size:\\s+595 x 842 pts \\(A4\\)")));
    const QStringList pages = pdfPages(path);
    QVERIFY(pages.size() >= 2);
    for (int i = 0; i < pages.size(); ++i)
        QCOMPARE(lastText(pages[i]), QString::number(i + 1));
    const QString all = pages.join(QString());
    QVERIFY(all.contains("To: Alice (+15551234567)\n"));
    QVERIFY(all.contains("Hello, \"world\""));
    QVERIFY(all.contains("From: " + groupName + " (Bob)\n"));
    QVERIFY(all.contains("To: " + groupName + "\n"));
    // A message without a chat has the direction alone.
    QVERIFY(all.contains(QRegularExpression("\\nFrom:\\s*\\n\\s*No chat")));
    QVERIFY(all.contains("hi [EMOJI]"));
    QVERIFY(all.contains("Medium message 59"));
}

void TestExportSMSPdf::tallMessageContinuesOnTheNextPages()
{
    QStringList words;
    for (int i = 1; i <= 1500; ++i)
        words << QStringLiteral("w%1").arg(i, 4, 10, QLatin1Char('0'));
    QTemporaryDir dir;
    const QString path = exportedPdf(dir, {"before", words.join(' '), "after"});

    const QStringList pages = pdfPages(path);
    QVERIFY2(pages.size() >= 4, qPrintable(QString::number(pages.size())));
    QStringList found;
    QRegularExpressionMatchIterator it = QRegularExpression("\\bw\\d{4}\\b").globalMatch(pages.join(' '));
    while (it.hasNext())
        found << it.next().captured();
    QCOMPARE(found, words);
    // The tall message starts on a fresh page; the next one follows right after it.
    QVERIFY(pages[0].contains("before") && !pages[0].contains("w0001"));
    QVERIFY(pages.last().contains("w1500") && pages.last().contains("after"));
    for (int i = 0; i < pages.size(); ++i)
        QCOMPARE(lastText(pages[i]), QString::number(i + 1));
}

void TestExportSMSPdf::runWiderThanTheLineBreaksAnywhere()
{
    QString link = "https://example.com/";
    for (int i = 0; link.size() < 300; ++i)
        link += QString::number(i % 10) + QChar('a' + i % 26);
    const QString number = QString("0123456789").repeated(20);
    QTemporaryDir dir;
    const QString path = exportedPdf(dir, {"see " + link + " now", number});

    // Reading order without layout: the pieces of a broken run join when line ends go.
    const QString text = QString::fromUtf8(runCli("pdftotext", {path, "-"}).out).remove('\n');
    QVERIFY2(text.contains("see " + link), qPrintable(text));
    QVERIFY2(text.contains(number), qPrintable(text));
}

void TestExportSMSPdf::emptyFileHasOnePageNumberedOne()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("empty.pdf");
    {
        ExportSMSPdf pdf(path);
        exportAll(pdf, {});
    }
    QVERIFY(pdfInfo(path).contains(QRegularExpression("Pages:\\s+1\\n")));
    QCOMPARE(pdfPages(path).size(), 1);
    QCOMPARE(pdfPages(path).first().trimmed(), QStringLiteral("1"));
}

void TestExportSMSPdf::uncreatableFileFailsAtBegin()
{
    QTemporaryDir dir;
    QFile blocker(dir.filePath("file"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    const QString path = dir.filePath("file/chat.pdf");
    ExportSMSPdf pdf(path);
    try {
        pdf.begin();
        QFAIL("begin succeeded");
    } catch (const std::runtime_error& e) {
        QCOMPARE(QString::fromUtf8(e.what()), "can not create " + path + ".");
    }
}

void TestExportSMSPdf::cutShortFileFailsAtEnd()
{
    ExportFixture f;
    QTemporaryDir dir;
    ExportSMSPdf pdf(dir.filePath("chat.pdf"));
    pdf.begin();
    for (int i = 0; i < 200; ++i)
        pdf.write(*f.list[i % f.list.size()]);
    const FileSizeLimit full(2048);
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, pdf.end());
}

QTEST_MAIN(TestExportSMSPdf)
#include "TestExportSMSPdf.moc"
