#include "actions/export/ExportSMSPdf.h"

#include "actions/export/ExportFixture.h"
#include "actions/export/MessagePagePainter.h"
#include "support/FileSizeLimit.h"

#include <QDir>
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

struct PdfWord
{
    QString text;
    double xMin = 0;
    double xMax = 0;
};

// The words of each drawn line, page by page, left to right as pdftotext places them.
QList<QList<PdfWord>> pdfLines(const QString& path)
{
    static const QRegularExpression wordBox(
        "<word xMin=\"([\\d.]+)\" yMin=\"[\\d.]+\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>");
    QList<QList<PdfWord>> lines;
    const QString boxes = QString::fromUtf8(runCli("pdftotext", {"-bbox", path, "-"}).out);
    for (const QString& page : boxes.split("<page ")) {
        QList<std::pair<double, PdfWord>> words; // by the foot of its box
        for (QRegularExpressionMatchIterator it = wordBox.globalMatch(page); it.hasNext();) {
            const QRegularExpressionMatch word = it.next();
            words.append({word.captured(3).toDouble(),
                          {word.captured(4), word.captured(1).toDouble(), word.captured(2).toDouble()}});
        }
        std::stable_sort(words.begin(), words.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        // Glyphs of one line differ in their feet by a point or so; lines are 20 apart.
        double lineFoot = -100;
        for (const auto& [foot, word] : words) {
            if (foot - lineFoot > 5) {
                lines.append(QList<PdfWord>());
                lineFoot = foot;
            }
            lines.last().append(word);
        }
    }
    for (QList<PdfWord>& line : lines)
        std::stable_sort(line.begin(), line.end(), [](const PdfWord& a, const PdfWord& b) { return a.xMin < b.xMin; });
    return lines;
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
    void everyScriptComesBackInItsOwnDirection();
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

// Needs the fonts scripts/setup installs. The texts are short, so no line breaks in them.
void TestExportSMSPdf::everyScriptComesBackInItsOwnDirection()
{
    const QStringList texts{
        QStringLiteral("Grüße aus München, ça déjà vu"),
        QStringLiteral("Merhaba dünya, Xin chào thế giới"),
        QStringLiteral("Καλημέρα κόσμε"),
        QStringLiteral("Привет, как дела?"),
        QStringLiteral("Բարեւ աշխարհ"),
        QStringLiteral("გამარჯობა მსოფლიო"),
        QStringLiteral("مرحبا بالعالم"),
        QStringLiteral("سلام دنیا"),
        QStringLiteral("שלום עולם"),
        QStringLiteral("नमस्ते दुनिया"),
        QStringLiteral("ওহে বিশ্ব"),
        QStringLiteral("வணக்கம் உலகம்"),
        QStringLiteral("สวัสดีชาวโลก"),
        QStringLiteral("ሰላም ልዑል"),
        QStringLiteral("你好，世界"),
        QStringLiteral("繁體中文測試"),
        QStringLiteral("こんにちは世界、カタカナ"),
        QStringLiteral("안녕하세요 세계"),
    };
    RecordBuilder b;
    _MsgHandle* ahmed = b.handle(1, "+971501234567");
    ahmed->_ct_name = QStringLiteral("أحمد محمد");
    _MsgChat* chat = b.chat(1, "SMS;-;+971501234567", {ahmed});
    QList<_MsgMessage*> messages;
    for (int i = 0; i < texts.size(); ++i)
        messages << b.message(i + 1, chat, ahmed, 1000 + i, texts[i]);
    QTemporaryDir dir;
    const QString path = dir.filePath("chat.pdf");
    {
        ExportSMSPdf pdf(path);
        exportAll(pdf, messages);
    }

    // pdftotext gives Arabic letters in their presentation forms, some CJK ones as radicals,
    // and wraps right-to-left lines in embedding marks.
    const QString text = QString::fromUtf8(runCli("pdftotext", {path, "-"}).out)
                             .normalized(QString::NormalizationForm_KC)
                             .remove(QRegularExpression("[\\x{200e}\\x{200f}\\x{202a}-\\x{202e}]"));
    QStringList missing;
    for (const QString& t : texts)
        if (!text.contains(t.normalized(QString::NormalizationForm_KC)))
            missing << t;
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join('|') + "\n" + text));

    int headings = 0;
    for (const QList<PdfWord>& line : pdfLines(path)) {
        QString joined;
        for (const PdfWord& word : line)
            joined += word.text;
        if (line.first().text == "From:") {
            // The Arabic name as one unit, its number after it.
            ++headings;
            QCOMPARE(line.last().text, QStringLiteral("(+971501234567)"));
        } else if (joined.isRightToLeft()) {
            QVERIFY2(line.last().xMax > 500, qPrintable(joined));
        } else if (joined.toInt() == 0) { // not a page number
            QVERIFY2(line.first().xMin < 40, qPrintable(joined));
        }
    }
    QCOMPARE(headings, texts.size());
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
        QCOMPARE(QString::fromUtf8(e.what()), "can not create " + path + ". Not a directory");
    }
}

void TestExportSMSPdf::cutShortFileFailsAtEnd()
{
    ExportFixture f;
    QTemporaryDir dir;
    const QString path = dir.filePath("chat.pdf");
    {
        ExportSMSPdf pdf(path);
        pdf.begin();
        for (int i = 0; i < 200; ++i)
            pdf.write(*f.list[i % f.list.size()]);
        const FileSizeLimit full(2048);
        try {
            pdf.end();
            QFAIL("end succeeded");
        } catch (const std::runtime_error& e) {
            QCOMPARE(QString::fromUtf8(e.what()), "can not write " + path + ". File too large");
        }
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

QTEST_MAIN(TestExportSMSPdf)
#include "TestExportSMSPdf.moc"
