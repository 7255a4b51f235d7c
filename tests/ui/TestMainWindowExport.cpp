// The window's export and print actions: the save dialog answered in place of a person,
// the worker run under its progress dialog, the print preview closed once it has drawn.
#include "ui/MainWindow.h"

#include "MainWindowFixture.h"
#include "TreeNodeFixture.h"
#include "support/FolderSnapshot.h"
#include "support/MessageBoxAnswerer.h"

#include "actions/export/ExportFormat.h"
#include "actions/export/ExportSMSPdf.h"
#include "frame/DataFolder.h"
#include "ui/MyTreeView.h"

#include <QFileDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace {

const QString chat = QStringLiteral("Devices/VA1/+14155550101"); // one, two, three

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What the save dialog was asked, and the answer it gives: the chosen name and file type.
struct SaveDialogAnswer
{
    SaveDialogAnswer(const QString& path, const QString& fileType)
        : path(path)
        , fileType(fileType)
    {
    }

    QString path;
    QString fileType;

    // Runs while the dialog is open, as events that arrive meanwhile do.
    std::function<void()> whileAsked;

    int asked = 0;
    QWidget* parent = nullptr;
    QString caption;
    QString defaultPath;
    QString fileTypes;

    void answer(MainWindow& window)
    {
        window.askSavePath = [this](QWidget* parent, const QString& caption, const QString& defaultPath,
                                    const QString& fileTypes, QString* chosenType) {
            ++asked;
            this->parent = parent;
            this->caption = caption;
            this->defaultPath = defaultPath;
            this->fileTypes = fileTypes;
            *chosenType = fileType;
            if (whileAsked)
                whileAsked();
            return path;
        };
    }
};

// Once the print preview is on screen: records its title, lets it paint onto a PDF file
// as it paints its pages, and closes it.
class PreviewAnswerer : public QObject
{
public:
    PreviewAnswerer() { qApp->installEventFilter(this); }

    QString pdfPath;
    // Runs while the preview is open, before it paints.
    std::function<void()> whileShown;

    int shown = 0;
    QString title;

    bool eventFilter(QObject* object, QEvent* event) override
    {
        auto* preview = qobject_cast<QPrintPreviewDialog*>(object);
        if (preview && event->type() == QEvent::Show)
            QTimer::singleShot(0, preview, [this, preview] { answer(preview); });
        return false;
    }

private:
    void answer(QPrintPreviewDialog* preview)
    {
        ++shown;
        title = preview->windowTitle();
        if (whileShown)
            whileShown();
        {
            QPrinter pdf(QPrinter::ScreenResolution);
            pdf.setOutputFormat(QPrinter::PdfFormat);
            pdf.setOutputFileName(pdfPath);
            setMessagePageLayout(pdf);
            emit preview->paintRequested(&pdf);
        }
        preview->reject();
    }
};

QString pdfText(const QString& path)
{
    return QString::fromUtf8(runCli("pdftotext", {"-layout", path, "-"}).out);
}

void selectListRows(MainWindow& window, const QList<int>& rows)
{
    auto* list = child<MyTreeView>(window, "treeViewSMS");
    for (int row : rows)
        list->selectionModel()->select(list->model()->index(row, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

} // namespace

class TestMainWindowExport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void exportChatAsEachFileType_data();
    void exportChatAsEachFileType();
    void theToolkitsSaveDialogAsksByDefault();
    void cancelledDialogOrUnknownTypeExportsNothing();
    void unwritableTargetIsReportedAndLeavesNothing_data();
    void unwritableTargetIsReportedAndLeavesNothing();
    void selectedRowsAndAllOfTheNode();
    void printChatSelectedOrAll();
    void phoneLeavingDuringTheActionWaitsForItsEnd();

private:
    std::unique_ptr<MainWindowFixture> fixture;
};

void TestMainWindowExport::initTestCase()
{
    fixture = std::make_unique<MainWindowFixture>();
    makeLocalDb(appDataDir().filePath(QStringLiteral("virtual_android/VA1")));
}

void TestMainWindowExport::exportChatAsEachFileType_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("written");
    const QString perChat = QStringLiteral("+14155550101");
    QTest::newRow("txt, suffix added") << 0 << "sms" << QStringList{"sms.txt"};
    QTest::newRow("doc, suffix added") << 1 << "sms" << QStringList{"sms.doc"};
    QTest::newRow("csv") << 2 << "sms.csv" << QStringList{"sms.csv"};
    QTest::newRow("pdf, folder from the base name")
        << 3 << "a.b.pdf" << QStringList{"a-pdf", "a-pdf/" + perChat + ".pdf"};
    QTest::newRow("html") << 4 << "sms" << QStringList{"sms-html", "sms-html/" + perChat + ".html", "sms-html/files"};
}

void TestMainWindowExport::exportChatAsEachFileType()
{
    QFETCH(int, type);
    QFETCH(QString, typed);
    QFETCH(QStringList, written);
    QTemporaryDir dir;
    MessageBoxAnswerer answerer;
    MainWindow window(nullptr);
    SaveDialogAnswer dialog{dir.filePath(typed), exportFileTypes().at(type)};
    dialog.answer(window);
    selectTreeRow(window, chat);

    QMetaObject::invokeMethod(&window, "miExportChat");
    QCOMPARE(dialog.asked, 1);
    QCOMPARE(dialog.parent, &window);
    QCOMPARE(dialog.caption, QStringLiteral("Please select Save Path for SMS."));
    QCOMPARE(dialog.fileTypes, QStringLiteral("Text Files(*.txt);;Doc Files(*.doc);;CSV Files(*.csv);;"
                                              "PDF Files(*.pdf);;HTML Files(*.html)"));
    QCOMPARE(QFileInfo(dialog.defaultPath).path(), QDir::homePath());
    QVERIFY2(QFileInfo(dialog.defaultPath).fileName().startsWith("sms("), qPrintable(dialog.defaultPath));
    QCOMPARE(answerer.texts, QStringList{"Successfully exported 3 SMS."});
    QCOMPARE(folderSnapshot(dir.path()).keys(), written);
}

void TestMainWindowExport::theToolkitsSaveDialogAsksByDefault()
{
    QTemporaryDir dir;
    MessageBoxAnswerer answerer;
    MainWindow window(nullptr);
    selectTreeRow(window, chat);
    QString title;
    QStringList fileTypes;
    QTimer::singleShot(0, &window, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        title = dialog->windowTitle();
        fileTypes = dialog->nameFilters();
        dialog->selectNameFilter(exportFileTypes().at(2));
        dialog->selectFile(dir.filePath("chosen"));
        static_cast<QDialog*>(dialog)->accept(); // as the Save button does
    });
    QMetaObject::invokeMethod(&window, "miExportChat");
    QCOMPARE(title, QStringLiteral("Please select Save Path for SMS."));
    QCOMPARE(fileTypes, exportFileTypes());
    QCOMPARE(answerer.texts, QStringList{"Successfully exported 3 SMS."});
    QCOMPARE(folderSnapshot(dir.path()).keys(), QStringList{"chosen.csv"});
}

void TestMainWindowExport::cancelledDialogOrUnknownTypeExportsNothing()
{
    QTemporaryDir dir;
    MessageBoxAnswerer answerer;
    MainWindow window(nullptr);
    selectTreeRow(window, chat);
    SaveDialogAnswer cancelled{QString(), exportFileTypes().at(2)};
    cancelled.answer(window);
    QMetaObject::invokeMethod(&window, "miExportChat");
    QCOMPARE(cancelled.asked, 1);
    QVERIFY(answerer.texts.isEmpty());

    SaveDialogAnswer unknown{dir.filePath("sms.xls"), "Excel Files(*.xls)"};
    unknown.answer(window);
    QMetaObject::invokeMethod(&window, "miExportChat");
    QCOMPARE(answerer.icons, QList<QMessageBox::Icon>{QMessageBox::Critical});
    QVERIFY2(answerer.texts.first().contains("unknown export format."), qPrintable(answerer.texts.first()));
    QCOMPARE(folderSnapshot(dir.path()).keys(), QStringList());
}

void TestMainWindowExport::unwritableTargetIsReportedAndLeavesNothing_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("error"); // %1: the folder a per-chat export would create
    QTest::newRow("txt") << 0 << "Not a directory";
    QTest::newRow("csv") << 2 << "Not a directory";
    QTest::newRow("pdf") << 3 << "can not create %1-pdf.";
    QTest::newRow("html") << 4 << "can not create %1-html.";
}

void TestMainWindowExport::unwritableTargetIsReportedAndLeavesNothing()
{
    QFETCH(int, type);
    QFETCH(QString, error);
    QTemporaryDir dir;
    QFile blocker(dir.filePath("file"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    MessageBoxAnswerer answerer;
    MainWindow window(nullptr);
    selectTreeRow(window, chat);
    SaveDialogAnswer dialog{dir.filePath("file/sms"), exportFileTypes().at(type)};
    dialog.answer(window);

    QMetaObject::invokeMethod(&window, "miExportChat");
    QCOMPARE(answerer.icons, QList<QMessageBox::Icon>{QMessageBox::Critical});
    QVERIFY2(answerer.texts.first().contains(error.arg(dir.filePath("file/sms"))), qPrintable(answerer.texts.first()));
    QCOMPARE(folderSnapshot(dir.path()).keys(), QStringList{"file"});
}

void TestMainWindowExport::selectedRowsAndAllOfTheNode()
{
    QTemporaryDir dir;
    MessageBoxAnswerer answerer;
    MainWindow window(nullptr);
    SaveDialogAnswer dialog(dir.filePath("none.csv"), exportFileTypes().at(2));
    dialog.answer(window);
    selectTreeRow(window, chat);

    // Nothing selected: the dialog still asks, and no file is written.
    QMetaObject::invokeMethod(&window, "miExportSel");
    QCOMPARE(dialog.asked, 1);
    dialog.path = dir.filePath("selected.csv");
    selectListRows(window, {0, 2});
    QMetaObject::invokeMethod(&window, "miExportSel");
    const QByteArray selected = readFile(dialog.path);
    QVERIFY2(selected.contains(",one\n") && selected.contains(",three\n") && !selected.contains("two"),
             selected.constData());

    dialog.path = dir.filePath("all.csv");
    selectTreeRow(window, "Devices/VA1");
    QMetaObject::invokeMethod(&window, "miExportAll");
    QCOMPARE(answerer.texts, QStringList({"Successfully exported 0 SMS.", "Successfully exported 2 SMS.",
                                          "Successfully exported 4 SMS."}));
    QCOMPARE(folderSnapshot(dir.path()).keys(), QStringList({"all.csv", "selected.csv"}));

    // A node without messages of its own: nothing to ask.
    selectTreeRow(window, "Devices");
    QMetaObject::invokeMethod(&window, "miExportAll");
    QCOMPARE(dialog.asked, 3);
}

void TestMainWindowExport::printChatSelectedOrAll()
{
    QTemporaryDir dir;
    MessageBoxAnswerer answerer;
    MainWindow window(nullptr);
    PreviewAnswerer preview;
    selectTreeRow(window, chat);

    preview.pdfPath = dir.filePath("chat.pdf");
    QMetaObject::invokeMethod(&window, "miPrintChat");
    QCOMPARE(preview.title, QStringLiteral("Print SMS"));
    const QString printedChat = pdfText(preview.pdfPath);
    for (const char* body : {"one", "two", "three"})
        QVERIFY2(printedChat.contains(QLatin1String(body)), qPrintable(printedChat));
    QVERIFY(!printedChat.contains("four"));

    preview.pdfPath = dir.filePath("selected.pdf");
    selectListRows(window, {2});
    QMetaObject::invokeMethod(&window, "miPrintSel");
    const QString printedSelection = pdfText(preview.pdfPath);
    QVERIFY2(printedSelection.contains("three") && !printedSelection.contains("one"), qPrintable(printedSelection));

    preview.pdfPath = dir.filePath("all.pdf");
    selectTreeRow(window, "Devices/VA1");
    QMetaObject::invokeMethod(&window, "miPrintAll");
    QVERIFY(pdfText(preview.pdfPath).contains("four"));
    QCOMPARE(preview.shown, 3);

    selectTreeRow(window, "Devices");
    QMetaObject::invokeMethod(&window, "miPrintAll");
    QCOMPARE(preview.shown, 3);
    QVERIFY(answerer.texts.isEmpty());
}

void TestMainWindowExport::phoneLeavingDuringTheActionWaitsForItsEnd()
{
    QTemporaryDir dir;
    MessageBoxAnswerer answerer;
    MainWindow window(nullptr);
    const auto leaves = [&window](const char* serial) {
        return [&window, serial] { window.androidDeviceDisconnected(QString::fromLatin1(serial)); };
    };

    addAndroid(treeModel(window), dir.filePath("phone1"), "SERIAL1");
    selectTreeRow(window, "Devices/SERIAL1");
    SaveDialogAnswer dialog(dir.filePath("sms.txt"), exportFileTypes().at(0));
    dialog.answer(window);
    dialog.whileAsked = leaves("SERIAL1");
    QMetaObject::invokeMethod(&window, "miExportAll");
    QCOMPARE(answerer.texts, QStringList{"Successfully exported 4 SMS."});
    QVERIFY(treeRow(window, "Devices/SERIAL1").isValid());
    QTRY_VERIFY(!treeRow(window, "Devices/SERIAL1").isValid());

    addAndroid(treeModel(window), dir.filePath("phone2"), "SERIAL2");
    selectTreeRow(window, "Devices/SERIAL2");
    PreviewAnswerer preview;
    preview.pdfPath = dir.filePath("printed.pdf");
    preview.whileShown = leaves("SERIAL2");
    QMetaObject::invokeMethod(&window, "miPrintAll");
    QVERIFY(pdfText(preview.pdfPath).contains("four"));
    QTRY_VERIFY(!treeRow(window, "Devices/SERIAL2").isValid());
}

QTEST_MAIN(TestMainWindowExport)
#include "TestMainWindowExport.moc"
