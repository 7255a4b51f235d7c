#include "ui/SMSPrinter.h"

#include "actions/export/ExportFixture.h"
#include "actions/export/ExportSMSPdf.h"

#include <QApplication>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestSMSPrinter : public QObject
{
    Q_OBJECT

private slots:
    void paintsEveryMessageOnThePrinter();
    void previewOpensAndCloses();
};

void TestSMSPrinter::paintsEveryMessageOnThePrinter()
{
    ExportFixture f;
    QTemporaryDir dir;
    const QString path = dir.filePath("printed.pdf");
    {
        QPrinter printer(QPrinter::ScreenResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        setMessagePageLayout(printer);
        SMSPrinter sms(nullptr);
        // The list reaches the slot through print(); here the preview is skipped.
        QTimer::singleShot(0, [] {
            if (QWidget* preview = QApplication::activeModalWidget())
                preview->close();
        });
        sms.print(f.list);
        sms.onPaintRequested(&printer);
    }
    // Ligatures the font drew ("ff" as one glyph) are letters again.
    const QString text =
        QString::fromUtf8(runCli("pdftotext", {"-layout", path, "-"}).out).normalized(QString::NormalizationForm_KC);
    QVERIFY(text.contains("To: Alice (+15551234567)"));
    QVERIFY(text.contains("From: " + groupName + " (Bob)"));
    QVERIFY(text.contains("after a long name"));
    QCOMPARE(text.trimmed().split('\n').last().trimmed(), QStringLiteral("1"));
}

void TestSMSPrinter::previewOpensAndCloses()
{
    ExportFixture f;
    QString title;
    bool printerUsable = false;
    QTimer::singleShot(0, [&] {
        auto* preview = qobject_cast<QPrintPreviewDialog*>(QApplication::activeModalWidget());
        if (!preview)
            return;
        title = preview->windowTitle();
        printerUsable = preview->printer()->isValid() || preview->printer()->outputFormat() == QPrinter::PdfFormat;
        preview->reject();
    });
    SMSPrinter(nullptr).print(f.list);
    QCOMPARE(title, QStringLiteral("IDS_PRINT_SMS"));
    QVERIFY(printerUsable);
}

QTEST_MAIN(TestSMSPrinter)
#include "TestSMSPrinter.moc"
