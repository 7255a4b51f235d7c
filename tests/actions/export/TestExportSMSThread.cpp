#include "actions/export/ExportSMSThread.h"

#include "actions/export/ExportFixture.h"
#include "support/FileSizeLimit.h"

#include "frame/DataFolder.h"
#include "support/WorkerHarness.h"

#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

namespace {

// Every path below root, relative, sorted: what a run left on disk.
QStringList tree(const QString& root)
{
    QStringList paths;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        paths << QDir(root).relativeFilePath(it.next());
    paths.sort();
    return paths;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList fileNames(const QStringList& paths)
{
    QStringList names;
    for (const QString& p : paths)
        names << QFileInfo(p).fileName();
    return names;
}

struct Run
{
    RecordedRun recorded;
    QStringList files;
};

Run exportRecorded(const QList<_MsgMessage*>& list, const QString& path, ExportFormat format, bool ascending = true)
{
    ProgressForm form(QString(), nullptr);
    ExportSMSThread worker(list, path, format, ascending, &form, nullptr);
    Run run{runRecorded(worker, form), {}};
    run.files = worker.writtenFiles();
    return run;
}

} // namespace

class TestExportSMSThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void reportsProgressAndTheCountWritten();
    void emptyListWritesNoFileOrAnEmptyFolder();
    void perChatFilesNeverReplaceEachOther();
    void htmlResourcesAreCopiedBesideThePages();
    void cancelRemovesOnlyThisRunsOutput_data();
    void cancelRemovesOnlyThisRunsOutput();
    void failureRemovesOnlyThisRunsOutput_data();
    void failureRemovesOnlyThisRunsOutput();
    void cutShortFileKeepsWhatWasThere_data();
    void cutShortFileKeepsWhatWasThere();
    void descendingOrderOfEqualDatesKeepsChatsApart();

private:
    QTranslator english;
    QTemporaryDir installed; // an installed data folder with the HTML images
};

void TestExportSMSThread::initTestCase()
{
    QVERIFY(english.load(QStringLiteral(":/en.qm")));
    QCoreApplication::installTranslator(&english);
    const QString images = installed.filePath(QLatin1String(makerFolderName));
    writeFile(images + "/bubble/left.png", "bubble");
    writeFile(images + "/emoji/e1.png", "emoji");
    qputenv("XDG_DATA_DIRS", installed.path().toUtf8());
}

void TestExportSMSThread::init()
{
    // The images are found only where a test puts them.
    qputenv("XDG_DATA_DIRS", QByteArray());
}

void TestExportSMSThread::reportsProgressAndTheCountWritten()
{
    ExportFixture f;
    QTemporaryDir dir;
    const QString path = dir.filePath("sms.csv");
    QList<_MsgMessage*> reversed(f.list.crbegin(), f.list.crend());
    const Run run = exportRecorded(reversed, path, ExportFormat::Csv);

    QCOMPARE(run.recorded.outcome.result, WorkerOutcome::Succeeded);
    QCOMPARE(run.recorded.boxes, QStringList{"Successfully exported 8 SMS."});
    QCOMPARE(run.files, QStringList{path});
    QCOMPARE(run.recorded.steps.first(), (ProgressStep{"Exporting SMS...", 0, "Progress:0%"}));
    QVERIFY(run.recorded.steps.contains(ProgressStep{"Exporting SMS...", 37, "SMS: 3/8"}));
    QCOMPARE(run.recorded.steps.last(), (ProgressStep{"Exporting SMS...", 100, "SMS: 8/8"}));
    // The list's own order, not the date order.
    QVERIFY(readFile(path).endsWith(",\"Hello, \"\"world\"\"\"\n"));
}

void TestExportSMSThread::emptyListWritesNoFileOrAnEmptyFolder()
{
    QTemporaryDir dir;
    for (const ExportFormat format : {ExportFormat::Text, ExportFormat::Pdf}) {
        const QString path = dir.filePath(format == ExportFormat::Text ? "sms.txt" : "sms-pdf");
        const Run run = exportRecorded({}, path, format);
        QCOMPARE(run.recorded.outcome.result, WorkerOutcome::Succeeded);
        QCOMPARE(run.recorded.boxes, QStringList{"Successfully exported 0 SMS."});
        QCOMPARE(run.files, QStringList());
    }
    QCOMPARE(tree(dir.path()), QStringList{"sms-pdf"});
}

void TestExportSMSThread::perChatFilesNeverReplaceEachOther()
{
    ExportFixture f;
    RecordBuilder& b = f.b;
    auto oneToOne = [&b](qint64 row, const QString& id, const QString& name) {
        _MsgHandle* h = b.handle(row, id);
        _MsgChat* c = b.chat(row, "SMS;-;" + id, {h});
        c->display_name = name;
        return c;
    };
    QList<_MsgMessage*> list = f.list.mid(0, 6); // Alice, the group, no chat
    list << b.message(30, oneToOne(30, "a@example.com", "a/b?"), nullptr, 900, "slash")
         << b.message(31, oneToOne(31, "+15550000031", "Same"), nullptr, 910, "first same")
         << b.message(32, oneToOne(32, "+15550000032", "Same"), nullptr, 920, "second same")
         << b.message(33, oneToOne(33, "Mixed@Example.com", "Mixed"), nullptr, 930, "upper")
         << b.message(34, oneToOne(34, "mixed@example.com", "Mixed"), nullptr, 940, "lower")
         << b.message(35, oneToOne(35, "+15550000035", QString(300, QChar(0x00e9))), nullptr, 950, "long")
         << b.message(36, oneToOne(36, "+15550000036", "../up"), nullptr, 960, "parent")
         << b.message(37, oneToOne(37, "+15550000037", ". .hidden"), nullptr, 970, "hidden");
    QTemporaryDir dir;
    const QString folder = dir.filePath("sms-html");
    writeFile(folder + "/Alice (+15551234567).html", "earlier export");

    const Run run = exportRecorded(list, folder, ExportFormat::Html);
    QCOMPARE(run.recorded.outcome.result, WorkerOutcome::Succeeded);
    QCOMPARE(run.recorded.boxes, QStringList{"Successfully exported 14 SMS."});
    const QString shortened = QString(100, QChar(0x00e9)) + ".html"; // 200 bytes of UTF-8
    QStringList names = fileNames(run.files);
    names.sort();
    QCOMPARE(names, QStringList({"Alice (+15551234567) (2).html", "Mixed.html", "Same (2).html", "Same.html", "ab.html",
                                 groupId + ".html", "hidden.html", "unknown-chat.html", "up.html", shortened}));
    QCOMPARE(readFile(folder + "/Alice (+15551234567).html"), QByteArray("earlier export"));
    QCOMPARE(readFile(folder + "/Alice (+15551234567) (2).html").count("<a name="), 3);
    const QByteArray mixed = readFile(folder + "/Mixed.html");
    QVERIFY(mixed.contains(">upper<") && mixed.contains(">lower<"));
}

void TestExportSMSThread::htmlResourcesAreCopiedBesideThePages()
{
    qputenv("XDG_DATA_DIRS", installed.path().toUtf8());
    ExportFixture f;
    QTemporaryDir dir;
    const QString folder = dir.filePath("sms-html");
    writeFile(folder + "/files/left.png", "the user's own");
    const Run run = exportRecorded(f.list, folder, ExportFormat::Html);
    QCOMPARE(run.recorded.outcome.result, WorkerOutcome::Succeeded);
    QCOMPARE(readFile(folder + "/files/left.png"), QByteArray("the user's own"));
    QCOMPARE(readFile(folder + "/emoji/e1.png"), QByteArray("emoji"));
    QCOMPARE(run.files.size(), 4);
}

void TestExportSMSThread::cancelRemovesOnlyThisRunsOutput_data()
{
    QTest::addColumn<ExportFormat>("format");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QStringList>("before");
    QTest::newRow("html into a new folder") << ExportFormat::Html << "out/sms-html" << QStringList{"keep.txt"};
    QTest::newRow("html into a folder with files")
        << ExportFormat::Html << "sms-html" << QStringList{"sms-html/keep.txt", "sms-html/files/mine.png"};
    QTest::newRow("pdf into a folder with files") << ExportFormat::Pdf << "sms-pdf" << QStringList{"sms-pdf/keep.txt"};
    QTest::newRow("txt") << ExportFormat::Text << "sms.txt" << QStringList{"keep.txt"};
    QTest::newRow("csv onto an earlier file") << ExportFormat::Csv << "sms.csv" << QStringList{"sms.csv"};
}

void TestExportSMSThread::cancelRemovesOnlyThisRunsOutput()
{
    QFETCH(ExportFormat, format);
    QFETCH(QString, target);
    QFETCH(QStringList, before);
    qputenv("XDG_DATA_DIRS", installed.path().toUtf8());
    QTemporaryDir dir;
    for (const QString& file : before)
        writeFile(dir.filePath(file), "earlier");
    const QStringList earlier = tree(dir.path());
    ExportFixture f;

    MessageBoxAnswerer answerer;
    ProgressForm form(QString(), nullptr);
    cancelAtFirstStep(form);
    Synchronous<ExportSMSThread> worker(f.list, dir.filePath(target), format, true, &form, nullptr);
    worker.run();

    QCOMPARE(form.findChild<QLabel*>("lbProgress")->text(), "SMS: 1/8");
    QVERIFY(answerer.texts.isEmpty());
    QCOMPARE(tree(dir.path()), earlier);
    for (const QString& file : before)
        QCOMPARE(readFile(dir.filePath(file)), QByteArray("earlier"));
}

void TestExportSMSThread::failureRemovesOnlyThisRunsOutput_data()
{
    QTest::addColumn<ExportFormat>("format");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("error");
    QTest::newRow("txt below a file") << ExportFormat::Text << "file/sms.txt" << QStringList{"file"}
                                      << "can not create %1. Not a directory";
    QTest::newRow("csv onto a folder") << ExportFormat::Csv << "sms.csv" << QStringList{"sms.csv/keep.txt"}
                                       << "can not create %1. Is a directory";
    QTest::newRow("pdf folder where a file is")
        << ExportFormat::Pdf << "sms-pdf" << QStringList{"sms-pdf"} << "can not create %1.";
    QTest::newRow("html below a file") << ExportFormat::Html << "file/sms-html" << QStringList{"file"}
                                       << "can not create %1.";
}

void TestExportSMSThread::failureRemovesOnlyThisRunsOutput()
{
    QFETCH(ExportFormat, format);
    QFETCH(QString, target);
    QFETCH(QStringList, before);
    QFETCH(QString, error);
    QTemporaryDir dir;
    for (const QString& file : before)
        writeFile(dir.filePath(file), "earlier");
    const QStringList earlier = tree(dir.path());
    ExportFixture f;

    const Run run = exportRecorded(f.list, dir.filePath(target), format);
    QCOMPARE(run.recorded.outcome.result, WorkerOutcome::Failed);
    QVERIFY2(run.recorded.outcome.error.startsWith(error.arg(dir.filePath(target))),
             qPrintable(run.recorded.outcome.error));
    QCOMPARE(tree(dir.path()), earlier);
    for (const QString& file : before)
        QCOMPARE(readFile(dir.filePath(file)), QByteArray("earlier"));
}

void TestExportSMSThread::cutShortFileKeepsWhatWasThere_data()
{
    QTest::addColumn<ExportFormat>("format");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("before"); // a file that was there before, relative to the folder
    QTest::newRow("txt onto an earlier file") << ExportFormat::Text << "old.txt"
                                              << "old.txt";
    QTest::newRow("csv onto an earlier file") << ExportFormat::Csv << "old.csv"
                                              << "old.csv";
    QTest::newRow("html into a folder with files") << ExportFormat::Html << "sms-html"
                                                   << "sms-html/keep.txt";
    QTest::newRow("pdf into a folder with files") << ExportFormat::Pdf << "sms-pdf"
                                                  << "sms-pdf/keep.txt";
}

// A full disk takes the first bytes and refuses the rest; so does a file size limit.
void TestExportSMSThread::cutShortFileKeepsWhatWasThere()
{
    QFETCH(ExportFormat, format);
    QFETCH(QString, target);
    QFETCH(QString, before);
    qputenv("XDG_DATA_DIRS", installed.path().toUtf8());
    ExportFixture f;
    QList<_MsgMessage*> list = f.list;
    for (int i = 0; i < 400; ++i)
        list << f.b.message(1000 + i, f.list[i % 2 ? 0 : 3]->chat, nullptr, 2000 + i, QString(100, 'x'));
    QTemporaryDir dir;
    writeFile(dir.filePath(before), "earlier");
    const QStringList earlier = tree(dir.path());

    const FileSizeLimit full(8192);
    const Run run = exportRecorded(list, dir.filePath(target), format);
    QCOMPARE(run.recorded.outcome.result, WorkerOutcome::Failed);
    const QString& error = run.recorded.outcome.error;
    QVERIFY2(error.startsWith("can not write " + dir.filePath(target)) && error.endsWith(". File too large"),
             qPrintable(error));
    QCOMPARE(tree(dir.path()), earlier);
    QCOMPARE(readFile(dir.filePath(before)), QByteArray("earlier"));
}

void TestExportSMSThread::descendingOrderOfEqualDatesKeepsChatsApart()
{
    RecordBuilder b;
    _MsgHandle* h1 = b.handle(1, "+15550000001");
    _MsgHandle* h2 = b.handle(2, "+15550000002");
    _MsgChat* older = b.chat(1, "SMS;-;1", {h1});
    _MsgChat* newer = b.chat(2, "SMS;-;2", {h2});
    older->lastDate = newer->lastDate = 1000; // equal: ties between chats too
    QList<_MsgMessage*> list;
    for (int i = 0; i < 200; ++i) {
        _MsgMessage* m = b.message(i + 1, i % 2 ? older : newer, nullptr, 1000, QStringLiteral("m%1").arg(i + 1));
        m->seq = qint64(i) * 100;
        list << m;
    }
    QTemporaryDir dir;
    const Run run = exportRecorded(list, dir.filePath("sms-html"), ExportFormat::Html, false);
    QCOMPARE(run.recorded.outcome.result, WorkerOutcome::Succeeded);
    QCOMPARE(run.files.size(), 2);
    for (const QString& file : run.files)
        QCOMPARE(readFile(file).count("<a name="), 100);
}

QTEST_MAIN(TestExportSMSThread)
#include "TestExportSMSThread.moc"
