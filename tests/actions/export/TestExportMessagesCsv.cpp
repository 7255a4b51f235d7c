#include "actions/export/ExportMessagesCsv.h"

#include "actions/export/ExportFixture.h"
#include "support/FileSizeLimit.h"

#include "model/AppleTime.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

QStringList row(const QString& date, const QString& send, const QString& person, const QString& number,
                const QString& content)
{
    return {date, send, person, number, content};
}

QString csvDate(int appleSeconds)
{
    return dateTimeFromAppleTime(appleSeconds).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

const char readRows[] = "import csv, json, sys\n"
                        "raw = open(sys.argv[1], 'rb').read()\n"
                        "rows = list(csv.reader(open(sys.argv[1], newline='', encoding='utf-8')))\n"
                        "print(json.dumps({'bom': raw[:4] != b'date', 'rows': rows}))\n";

} // namespace

class TestExportMessagesCsv : public QObject
{
    Q_OBJECT

private slots:
    void csvFieldQuotesWhatReadersSplit_data();
    void csvFieldQuotesWhatReadersSplit();
    void csvFieldKeepsFormulasAsText_data();
    void csvFieldKeepsFormulasAsText();
    void exportedCellsNeverStartAFormula();
    void pythonReadsEveryFieldBack();
    void beginIntoMissingFolderThrowsAndWritesNothing();
    void fullDiskFailsAtEndKeepingTheOldFile();
};

void TestExportMessagesCsv::csvFieldQuotesWhatReadersSplit_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("field");
    QTest::newRow("plain") << "hello world"
                           << "hello world";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("comma") << "a,b"
                           << "\"a,b\"";
    QTest::newRow("quotes doubled") << "say \"hi\""
                                    << "\"say \"\"hi\"\"\"";
    QTest::newRow("LF") << "a\nb"
                        << "\"a\nb\"";
    QTest::newRow("lone CR") << "x\ry"
                             << "\"x\ry\"";
}

void TestExportMessagesCsv::csvFieldQuotesWhatReadersSplit()
{
    QFETCH(QString, text);
    QFETCH(QString, field);
    QCOMPARE(csvField(text), field);
}

void TestExportMessagesCsv::csvFieldKeepsFormulasAsText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("field");
    QTest::newRow("command") << "=cmd|' /C calc'!A0"
                             << "'=cmd|' /C calc'!A0";
    QTest::newRow("at sign") << "@SUM(1+1)"
                             << "'@SUM(1+1)";
    QTest::newRow("plus formula") << "+SUM(1,2)"
                                  << "\"'+SUM(1,2)\"";
    QTest::newRow("minus arithmetic") << "-2+3+cmd|' /C calc'!A0"
                                      << "'-2+3+cmd|' /C calc'!A0";
    QTest::newRow("hyperlink, quoted after the apostrophe") << "=HYPERLINK(\"http://x.example\",\"y\")"
                                                            << "\"'=HYPERLINK(\"\"http://x.example\"\",\"\"y\"\")\"";
    QTest::newRow("leading tab") << "\t=1+1"
                                 << "'\t=1+1";
    QTest::newRow("leading CR") << "\r=1+1"
                                << "\"'\r=1+1\"";
    QTest::newRow("international number") << "+15551234567"
                                          << "+15551234567";
    QTest::newRow("number with brackets, dots and dashes") << "+1 (555) 123-45.67"
                                                           << "+1 (555) 123-45.67";
    QTest::newRow("equals later in the text") << "1+1=2"
                                              << "1+1=2";
    QTest::newRow("blanks before equals") << "  =cmd|' /C calc'!A0"
                                          << "'  =cmd|' /C calc'!A0";
    QTest::newRow("blanks before a number") << " +15551234567"
                                            << " +15551234567";
}

void TestExportMessagesCsv::csvFieldKeepsFormulasAsText()
{
    QFETCH(QString, text);
    QFETCH(QString, field);
    QCOMPARE(csvField(text), field);
}

// The cell as a spreadsheet gets it: a message text is trimmed before it is written, so a
// formula behind a leading tab must still be caught.
void TestExportMessagesCsv::exportedCellsNeverStartAFormula()
{
    RecordBuilder b;
    _MsgHandle* mallory = b.handle(1, QStringLiteral("+15551234567"));
    mallory->_ct_name = QStringLiteral("=HYPERLINK(\"http://x.example\")");
    _MsgChat* chat = b.chat(1, QStringLiteral("SMS;-;+15551234567"), {mallory});
    const QList<_MsgMessage*> list{b.message(1, chat, mallory, 100, QStringLiteral("\t=1+1")),
                                   b.message(2, chat, mallory, 200, QStringLiteral("@SUM(1+1)"))};
    QTemporaryDir dir;
    const QString path = dir.filePath("out.csv");
    ExportMessagesCsv csv(path);
    exportAll(csv, list);

    const QJsonObject read = pythonJson(QString::fromLatin1(readRows), path).toObject();
    const QJsonArray rows = read.value("rows").toArray();
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows[1].toVariant().toStringList(),
             row(csvDate(100), "0", "'=HYPERLINK(\"http://x.example\")", "+15551234567", "'=1+1"));
    QCOMPARE(rows[2].toVariant().toStringList(),
             row(csvDate(200), "0", "'=HYPERLINK(\"http://x.example\")", "+15551234567", "'@SUM(1+1)"));
}

void TestExportMessagesCsv::pythonReadsEveryFieldBack()
{
    ExportFixture f;
    QTemporaryDir dir;
    const QString path = dir.filePath("out.csv");
    ExportMessagesCsv csv(path);
    exportAll(csv, f.list);

    const QJsonObject read = pythonJson(QString::fromLatin1(readRows), path).toObject();
    QCOMPARE(read.value("bom").toBool(), false);
    QList<QStringList> rows;
    for (const QJsonValue& r : read.value("rows").toArray())
        rows << r.toVariant().toStringList();
    const QString alice = "+15551234567";
    const QList<QStringList> expected{
        row("date", "send", "person", "number", "content"),
        row(csvDate(100), "1", "Alice", alice, "Hello, \"world\""),
        row(csvDate(200), "0", "Alice", alice, "a\r\nb"),
        row(csvDate(300), "0", "Alice", alice, "x\ry"),
        row(csvDate(400), "0", "Bob", "+15557654321", "Group text"),
        row(csvDate(500), "1", groupId, groupId, f.list[4]->displayText()),
        row(csvDate(600), "0", "", "", "No chat"),
        row(csvDate(700), "0", "Alice", alice, "hi [EMOJI]"),
        row(csvDate(800), "0", longName, "+15550001111", "after a long name"),
    };
    QCOMPARE(rows, expected);
    QVERIFY(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$").match(rows[1][0]).hasMatch());
}

void TestExportMessagesCsv::beginIntoMissingFolderThrowsAndWritesNothing()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("missing/out.csv");
    ExportMessagesCsv csv(path);
    try {
        csv.begin();
        QFAIL("begin succeeded");
    } catch (const std::runtime_error& e) {
        QCOMPARE(QString::fromUtf8(e.what()), "can not create " + path + ". No such file or directory");
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

void TestExportMessagesCsv::fullDiskFailsAtEndKeepingTheOldFile()
{
    ExportFixture f;
    QTemporaryDir dir;
    const QString path = dir.filePath("out.csv");
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("earlier") == 7);
    }
    {
        ExportMessagesCsv csv(path);
        csv.begin();
        for (int i = 0; i < 2000; ++i)
            csv.write(*f.list.first());
        const FileSizeLimit full(4096);
        try {
            csv.end();
            QFAIL("end succeeded");
        } catch (const std::runtime_error& e) {
            QCOMPARE(QString::fromUtf8(e.what()), "can not write " + path + ". File too large");
        }
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"out.csv"});
    QFile old(path);
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("earlier"));
}

QTEST_GUILESS_MAIN(TestExportMessagesCsv)
#include "TestExportMessagesCsv.moc"
