// msgtool export-files: the program's own export action run headless on a database file,
// its output read back by tools that are not ours.
#include "support/Cli.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString fixtureScript = QStringLiteral(FIXTURES_DIR "/ui/export_smsdb.py");
const QString group = QStringLiteral("chat123456789012345678");

QJsonObject exportJson(const QStringList& args)
{
    const CliResult r = msgtool(QStringList{"export-files"} + args);
    if (r.exitCode != 0)
        qWarning("%s", r.err.constData());
    return QJsonDocument::fromJson(r.out).object();
}

QStringList files(const QJsonObject& result)
{
    return result.value("files").toVariant().toStringList();
}

} // namespace

class TestMsgtoolExportFiles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void csvKeepsDumpOrderFieldForField();
    void docIsTheTextLayout();
    void htmlAndPdfWriteOneFilePerChat();
    void chatOptionExportsThatChatOnly();
    void badArgumentsAndUnwritableTargets();
    void datesAtTheEdgesOfWhatARecordHolds();

private:
    QTemporaryDir dir;
    QString db;
};

void TestMsgtoolExportFiles::initTestCase()
{
    db = dir.filePath("sms.db");
    QCOMPARE(runCli("python3", {fixtureScript, db}).exitCode, 0);
}

void TestMsgtoolExportFiles::csvKeepsDumpOrderFieldForField()
{
    const QString target = dir.filePath("csv/sms");
    QDir().mkpath(QFileInfo(target).path());
    const QJsonObject result = exportJson({db, target, "--format", "csv"});
    QCOMPARE(files(result), QStringList{target + ".csv"});
    QCOMPARE(result.value("messages").toInt(), 7);
    const CliResult check =
        python("import csv, json, subprocess, sys\n"
               "rows = list(csv.reader(open(sys.argv[1], newline='', encoding='utf-8')))\n"
               "dump = json.loads(subprocess.run([sys.argv[2], 'dump', sys.argv[3]], capture_output=True).stdout)\n"
               "assert rows[0] == ['date', 'send', 'person', 'number', 'content'], rows[0]\n"
               "texts = [m['text'].replace('\\U0001F600', '[EMOJI]') for m in dump['messages']]\n"
               "assert [r[4] for r in rows[1:]] == texts, ([r[4] for r in rows[1:]], texts)\n"
               "assert [r[1] for r in rows[1:]] == [str(m['is_from_me']) for m in dump['messages']]\n"
               "group = [r for r in rows if r[4] == 'Group hello'][0]\n"
               "assert group[2] == group[3] == '+15557654321', group\n"
               "print('ok')\n",
               {target + ".csv", MSGTOOL_PATH, db});
    QCOMPARE(check.out.trimmed(), QByteArray("ok"));
}

void TestMsgtoolExportFiles::docIsTheTextLayout()
{
    const QString target = dir.filePath("sms.txt");
    const QJsonObject result = exportJson({db, target, "--format", "doc"});
    QCOMPARE(files(result), QStringList{target});
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QVERIFY(lines[0].startsWith("Date                          Flag  Name"));
    QCOMPARE(lines[1].mid(30, 6), QByteArray("To    "));
    QVERIFY(lines[1].endsWith("Hello, \"world\""));
}

void TestMsgtoolExportFiles::htmlAndPdfWriteOneFilePerChat()
{
    for (const QString format : {"html", "pdf"}) {
        const QString target = dir.filePath("per-chat." + format);
        const QString folder = dir.filePath("per-chat-" + format);
        const QJsonObject result = exportJson({db, target, "--format", format});
        QCOMPARE(files(result), QStringList({folder + "/" + group + "." + format, folder + "/+15551234567." + format,
                                             folder + "/ab." + format}));
        QCOMPARE(result.value("messages").toInt(), 7);
    }
    const QString html = dir.filePath("per-chat-html/" + group + ".html");
    const CliResult parsed = python("import html.parser, sys\n"
                                    "class P(html.parser.HTMLParser):\n"
                                    "    text = ''\n"
                                    "    def handle_data(self, d): self.text += d + '|'\n"
                                    "p = P(); p.feed(open(sys.argv[1], encoding='utf-8').read()); print(p.text)\n",
                                    {html});
    QVERIFY2(parsed.out.contains("|From: Team <A&B> %1 50%0ff (+15557654321)|Group hello|"), parsed.out.constData());
    QVERIFY2(parsed.out.contains("|To: Team <A&B> %1 50%0ff|Reply with %4 in it|"), parsed.out.constData());

    const QString pdf = dir.filePath("per-chat-pdf/+15551234567.pdf");
    const QString text = QString::fromUtf8(runCli("pdftotext", {"-layout", pdf, "-"}).out);
    for (const char* body : {"Hello, \"world\"", "a\nb", "xy", "hi [EMOJI]"})
        QVERIFY2(text.contains(QString::fromUtf8(body)), qPrintable(text));
}

void TestMsgtoolExportFiles::chatOptionExportsThatChatOnly()
{
    const QString target = dir.filePath("group.csv");
    const QJsonObject result = exportJson({db, target, "--format", "csv", "--chat", group});
    QCOMPARE(result.value("messages").toInt(), 2);
    QCOMPARE(msgtool({"export-files", db, target, "--format", "csv", "--chat", "chat0"}).exitCode, 1);
}

void TestMsgtoolExportFiles::badArgumentsAndUnwritableTargets()
{
    QCOMPARE(msgtool({"export-files", db, dir.filePath("x"), "--format", "xls"}).exitCode, 2);
    QCOMPARE(msgtool({"export-files", db, dir.filePath("x"), "--format", "csv", "--sort"}).exitCode, 2);
    QCOMPARE(msgtool({"export-files", db, dir.filePath("x")}).exitCode, 2);

    QTemporaryDir target;
    QFile blocker(target.filePath("file"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    for (const QString format : {"txt", "csv", "html", "pdf"}) {
        const CliResult r = msgtool({"export-files", db, target.filePath("file/sms"), "--format", format});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(QDir(target.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"file"});
    }
}

// A date before 1970 is shown as it is; one after 2069-01-19 03:14:07 UTC, beyond what a
// record holds, is left out and counted instead of shown as another date.
void TestMsgtoolExportFiles::datesAtTheEdgesOfWhatARecordHolds()
{
    const QString edges = dir.filePath("edges.db");
    QJsonArray messages;
    for (const qint64 date : {qint64(-978307201), qint64(-1), qint64(2147483647), qint64(2177452800),
                              qint64(3124137600)}) {
        messages.append(QJsonObject{{"guid", QString::number(date)}, {"date", date}, {"handle", 1},
                                    {"chats", QJsonArray{1}}});
    }
    const QJsonObject description{
        {"handles", QJsonArray{QJsonArray{1, "+15550001", "SMS"}}},
        {"chats", QJsonArray{QJsonObject{{"rowid", 1}, {"guid", "SMS;-;+15550001"}, {"identifier", "+15550001"},
                                         {"handles", QJsonArray{1}}}}},
        {"messages", messages}};
    QCOMPARE(runCli("python3", {FIXTURES_DIR "/itunes/smsbackup.py", "smsdb", edges},
                    QJsonDocument(description).toJson())
                 .exitCode,
             0);
    QCOMPARE(QJsonDocument::fromJson(msgtool({"dump", edges}).out).object().value("skipped").toInt(), 2);

    QProcessEnvironment utc = QProcessEnvironment::systemEnvironment();
    utc.insert("TZ", "UTC");
    const QString target = dir.filePath("edges.csv");
    QCOMPARE(msgtool({"export-files", edges, target, "--format", "csv"}, utc).exitCode, 0);
    const CliResult dates = python("import csv, sys\n"
                                   "for row in list(csv.reader(open(sys.argv[1], newline='', encoding='utf-8')))[1:]:\n"
                                   "    print(row[0])\n",
                                   {target});
    QCOMPARE(dates.out, QByteArray("1969-12-31 23:59:59\n2000-12-31 23:59:59\n2069-01-19 03:14:07\n"));
}

QTEST_GUILESS_MAIN(TestMsgtoolExportFiles)
#include "TestMsgtoolExportFiles.moc"
