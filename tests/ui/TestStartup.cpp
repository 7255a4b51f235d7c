// Start-up of the real program, run from outside without a person: its own data folder
// below a temporary home, the fake adb first on PATH, message boxes answered headless.

#include "support/Cli.h"
#include "support/FakeAdb.h"

#include "ui/AppMain.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

const char productFolder[] = "Veltrominex/7D2E91C4A6B84ec3B05F1A8E39D6C2F7";

class ProgramRun
{
public:
    ProgramRun()
    {
        QDir(home.path()).mkpath(dataFolder());
        env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
        env.insert(QString::fromLatin1(headlessBoxesVariable), QStringLiteral("1"));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(home.path());
    }

    ~ProgramRun()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(10000);
        }
    }

    QString dataFolder() const { return home.filePath(QStringLiteral("data/") + QLatin1String(productFolder)); }
    QString todaysLog() const
    {
        return dataFolder() + QStringLiteral("/qlogs/log-%1.txt").arg(QDate::currentDate().toString("yyyyMMdd"));
    }

    void start() { process.start(QStringLiteral(VELTROMINEX_PATH), {}); }

    QByteArray readLog() const
    {
        QFile log(todaysLog());
        return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
    }

    QTemporaryDir home;
    QProcessEnvironment env;
    QProcess process;
};

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void logsTrimmedBeforeTheWindow();
    void missingDeviceLibraryIsReportedAndTheProgramGoesOn();
    void oldLocalDatabaseIsConvertedAndTheProgramEnds();

private:
    FakeAdb adb;
};

void TestStartup::logsTrimmedBeforeTheWindow()
{
    ProgramRun run;
    const QDir logs(run.dataFolder() + QStringLiteral("/qlogs"));
    QVERIFY(logs.mkpath(QStringLiteral(".")));
    QStringList old;
    for (int day = 1; day <= 12; ++day) {
        old << QStringLiteral("log-202401%1.txt").arg(day, 2, 10, QLatin1Char('0'));
        QFile file(logs.filePath(old.last()));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    // Left open to other users by an older version: closed, and said in the log.
    QVERIFY(QFile::setPermissions(run.dataFolder(), QFile::Permissions(0x7755)));
    run.start();
    // The window is up once the Android monitor has asked adb for its devices.
    QTRY_VERIFY_WITH_TIMEOUT(adb.calls().size() >= 2, 30000);
    QCOMPARE(run.process.state(), QProcess::Running);
    QCOMPARE(int(QFileInfo(run.dataFolder()).permissions() & 0x0077), 0);
    QVERIFY2(run.readLog().contains("closed \"" + run.dataFolder().toUtf8() + "\" to other users"), run.readLog());

    QStringList expected = old.mid(2);
    expected << QFileInfo(run.todaysLog()).fileName();
    expected.sort();
    QCOMPARE(logs.entryList(QDir::Files, QDir::Name), expected);
    const QStringList lines = QString::fromUtf8(run.readLog()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY(!lines.isEmpty());
    static const QRegularExpression linePattern(QStringLiteral("^\\((D|W|C|F) \\d\\d:\\d\\d:\\d\\d\\) "));
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1Char('(')))
            QVERIFY2(linePattern.match(line).hasMatch(), qPrintable(line));
    }
}

void TestStartup::missingDeviceLibraryIsReportedAndTheProgramGoesOn()
{
    ProgramRun run;
    QTemporaryDir noLibraries;
    run.env.insert(QStringLiteral("CommonProgramFiles"), noLibraries.path());
    run.process.setProcessEnvironment(run.env);
    run.start();
    QByteArray errors;
    QTRY_VERIFY_WITH_TIMEOUT((errors += run.process.readAllStandardError()).contains("warning: "), 30000);
    // The program goes on: the window's Android monitor keeps asking adb.
    const qsizetype callsSoFar = adb.calls().size();
    QTRY_VERIFY_WITH_TIMEOUT(adb.calls().size() > callsSoFar, 30000);
    QCOMPARE(run.process.state(), QProcess::Running);
    QVERIFY2(errors.contains("warning: Failed to load (Apple Mobile Device) framework. Plese click"), errors);
    QVERIFY(errors.contains("/tutorial/how-to-connect-ios-device-to-veltrominex-successfully.html"));
}

void TestStartup::oldLocalDatabaseIsConvertedAndTheProgramEnds()
{
    ProgramRun run;
    const QDir local(run.dataFolder() + QStringLiteral("/local_databases"));
    QVERIFY(local.mkpath(QStringLiteral(".")));
    QCOMPARE(runCli(QStringLiteral("python3"),
                    {QStringLiteral(FIXTURES_DIR "/msgdb/old_localdb.py"), local.filePath(QStringLiteral("Old Phone"))})
                 .exitCode,
             0);
    run.start();
    QVERIFY(run.process.waitForFinished(60000));
    QCOMPARE(run.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.process.exitCode(), 0);
    const QString errors = QString::fromLocal8Bit(run.process.readAllStandardError());
    QVERIFY2(
        errors.contains(QStringLiteral("information: Successfully updated local database. Please restart software.")),
        qPrintable(errors));
    // The file has become a database folder of the same name.
    QVERIFY(QFileInfo(local.filePath(QStringLiteral("Old Phone"))).isDir());
    QVERIFY(QFileInfo(local.filePath(QStringLiteral("Old Phone/file-relay/var/mobile/Library/SMS/sms.db"))).isFile());
}

QTEST_GUILESS_MAIN(TestStartup)
#include "TestStartup.moc"
