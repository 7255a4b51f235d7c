#include "actions/export/ExportFormat.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

Q_DECLARE_METATYPE(ExportFormat)

class TestExportFormat : public QObject
{
    Q_OBJECT

private slots:
    void chosenNameAndTypeGiveTarget_data();
    void chosenNameAndTypeGiveTarget();
    void unknownTypeIsRefused();
    void defaultNameIsTimedInHome();
};

void TestExportFormat::chosenNameAndTypeGiveTarget_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<int>("type"); // index into exportFileTypes()
    QTest::addColumn<QString>("path");
    QTest::addColumn<ExportFormat>("format");
    QTest::newRow("txt appended") << "/h/sms" << 0 << "/h/sms.txt" << ExportFormat::Text;
    QTest::newRow("doc appended") << "/h/sms" << 1 << "/h/sms.doc" << ExportFormat::Text;
    QTest::newRow(".txt kept under Doc") << "/h/sms.txt" << 1 << "/h/sms.txt" << ExportFormat::Text;
    QTest::newRow("csv appended") << "/h/sms" << 2 << "/h/sms.csv" << ExportFormat::Csv;
    QTest::newRow("csv suffix kept") << "/h/a.b" << 2 << "/h/a.b" << ExportFormat::Csv;
    QTest::newRow("pdf without suffix") << "/h/sms" << 3 << "/h/sms-pdf" << ExportFormat::Pdf;
    QTest::newRow("pdf base stops at first dot") << "/h/a.b.pdf" << 3 << "/h/a-pdf" << ExportFormat::Pdf;
    QTest::newRow("html") << "/h/sms.html" << 4 << "/h/sms-html" << ExportFormat::Html;
}

void TestExportFormat::chosenNameAndTypeGiveTarget()
{
    QFETCH(QString, chosen);
    QFETCH(int, type);
    QFETCH(QString, path);
    QFETCH(ExportFormat, format);
    const ExportTarget target = exportTargetFor(chosen, exportFileTypes().at(type));
    QCOMPARE(target.path, path);
    QCOMPARE(target.format, format);
}

void TestExportFormat::unknownTypeIsRefused()
{
    QCOMPARE(exportFileTypes(), QStringList({"Text Files(*.txt)", "Doc Files(*.doc)", "CSV Files(*.csv)",
                                             "PDF Files(*.pdf)", "HTML Files(*.html)"}));
    try {
        exportTargetFor("/h/sms", "Text Files (*.txt)");
        QFAIL("accepted");
    } catch (const std::runtime_error& e) {
        QCOMPARE(e.what(), "unknown export format.");
    }
}

void TestExportFormat::defaultNameIsTimedInHome()
{
    const QString path = defaultExportPath();
    QCOMPARE(QFileInfo(path).path(), QDir::homePath());
    QVERIFY(QRegularExpression("^sms\\(\\d{8}-\\d{6}\\)$").match(QFileInfo(path).fileName()).hasMatch());
}

QTEST_GUILESS_MAIN(TestExportFormat)
#include "TestExportFormat.moc"
