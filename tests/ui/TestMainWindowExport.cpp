// The window's export and print actions: the save dialog answered in place of a person,
// the worker run under its progress dialog, the print preview closed once it has drawn.
#include "ui/MainWindow.h"

#include "MainWindowFixture.h"
#include "msgdb/LocalDbFixture.h"
#include "support/FolderSnapshot.h"
#include "support/MessageBoxAnswerer.h"

#include "frame/DataFolder.h"
#include "ui/ExportFormat.h"
#include "ui/ExportSMSPdf.h"
#include "ui/MyTreeView.h"

#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString chat = QStringLiteral("Devices/VA1/+14155550101"); // one, two, three

void selectTreeRow(MainWindow& window, const QString& path)
{
    auto* view = child<MyTreeView>(window, "treeViewDS");
    QModelIndex index;
    for (const QString& name : path.split(QLatin1Char('/'))) {
        const QModelIndexList found =
            view->model()->match(view->model()->index(0, 0, index), Qt::DisplayRole, name, 1, Qt::MatchExactly);
        QVERIFY2(!found.isEmpty(), qPrintable(path));
        index = found.first();
    }
    view->setCurrentIndex(index);
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
            return path;
        };
    }
};

// Once the print preview is on screen: records its title, lets it paint onto a PDF file
// as it paints its pages, and closes it.
class PreviewAnswerer : public QObject
{
public:
    explicit PreviewAnswerer(const QString& pdfPath)
        : pdfPath(pdfPath)
    {
        qApp->installEventFilter(this);
    }

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
        {
            QPrinter pdf(QPrinter::ScreenResolution);
            pdf.setOutputFormat(QPrinter::PdfFormat);
            pdf.setOutputFileName(pdfPath);
            setMessagePageLayout(pdf);
            emit preview->paintRequested(&pdf);
        }
        preview->reject();
    }

    QString pdfPath;
};

} // namespace

class TestMainWindowExport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void exportChatAsEachFileType_data();
    void exportChatAsEachFileType();
    void cancelledDialogOrUnknownTypeExportsNothing();
    void unwritableTargetIsReportedAndLeavesNothing_data();
    void unwritableTargetIsReportedAndLeavesNothing();
    void printChatPreviewsTheListedMessages();

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

void TestMainWindowExport::printChatPreviewsTheListedMessages()
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath("preview.pdf");
    MessageBoxAnswerer answerer;
    MainWindow window(nullptr);
    selectTreeRow(window, chat);
    PreviewAnswerer preview(pdf);

    QMetaObject::invokeMethod(&window, "miPrintChat");
    QCOMPARE(preview.shown, 1);
    QCOMPARE(preview.title, QStringLiteral("Print SMS"));
    const QString text = QString::fromUtf8(runCli("pdftotext", {"-layout", pdf, "-"}).out);
    for (const char* body : {"one", "two", "three"})
        QVERIFY2(text.contains(QLatin1String(body)), qPrintable(text));
    QVERIFY(!text.contains("four"));
    QVERIFY(answerer.texts.isEmpty());
}

QTEST_MAIN(TestMainWindowExport)
#include "TestMainWindowExport.moc"
