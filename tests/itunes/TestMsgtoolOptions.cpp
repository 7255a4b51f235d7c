#include "BackupFixture.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// msgtool run inside folder, with its home and data folders there too, so that a snapshot
// of the folder shows anything it wrote.
Run runIn(const QString& folder, const QStringList& args, const QString& program = MSGTOOL_PATH)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", folder);
    env.insert("XDG_DATA_HOME", folder + "/data");
    env.insert("XDG_CACHE_HOME", folder + "/cache");
    env.insert("XDG_CONFIG_HOME", folder + "/config");
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(folder);
    p.start(program, args);
    p.write("{}");
    p.closeWriteChannel();
    if (!p.waitForFinished(60000))
        return {};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

// Every subcommand msgtool lists in its usage, so that a new one is checked too.
QStringList subcommands()
{
    QTemporaryDir dir;
    const Run r = runIn(dir.path(), {});
    QStringList names;
    static const QRegularExpression line(QStringLiteral("^  (\\S+)"), QRegularExpression::MultilineOption);
    for (auto it = line.globalMatch(QString::fromUtf8(r.err)); it.hasNext();)
        names << it.next().captured(1);
    return names;
}

} // namespace

class TestMsgtoolOptions : public QObject
{
    Q_OBJECT

private slots:
    void everySubcommandAnswersHelpAndRefusesUnknownOptions_data()
    {
        QTest::addColumn<QString>("command");
        const QStringList names = subcommands();
        QVERIFY(names.contains("create") && names.contains("backup-info"));
        for (const QString& name : names)
            QTest::newRow(qPrintable(name)) << name;
    }
    void everySubcommandAnswersHelpAndRefusesUnknownOptions()
    {
        QFETCH(QString, command);
        QTemporaryDir dir;
        const auto before = folderSnapshot(dir.path());

        Run r = runIn(dir.path(), {command, "--help"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.startsWith("usage: msgtool " + command.toUtf8() + " "), r.out.constData());
        QCOMPARE(folderSnapshot(dir.path()), before);

        // As the last argument too, where most subcommands expect a path.
        r = runIn(dir.path(), {command, "x", "--help"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(folderSnapshot(dir.path()), before);

        r = runIn(dir.path(), {command, "--frobnicate"});
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains("unknown option --frobnicate"), r.err.constData());
        QVERIFY2(r.err.contains("usage: msgtool " + command.toUtf8()), r.err.constData());
        QVERIFY(r.out.isEmpty());
        QCOMPARE(folderSnapshot(dir.path()), before);
    }

    void fixtureGeneratorsRefuseAnOptionAsTheirOutput_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::newRow("mbdb.py make") << QStringList{"itunes/mbdb.py", "make"};
        QTest::newRow("mkbackup.py backup") << QStringList{"itunes/mkbackup.py", "backup"};
        QTest::newRow("smsbackup.py smsdb") << QStringList{"itunes/smsbackup.py", "smsdb"};
        QTest::newRow("smsbackup.py backup") << QStringList{"itunes/smsbackup.py", "backup"};
        QTest::newRow("plist_sample.py write") << QStringList{"model/plist_sample.py", "write"};
        QTest::newRow("device_smsdb.py") << QStringList{"msgdb/device_smsdb.py"};
        QTest::newRow("ios5_smsdb.py") << QStringList{"msgdb/ios5_smsdb.py"};
        QTest::newRow("old_localdb.py") << QStringList{"msgdb/old_localdb.py"};
    }
    void fixtureGeneratorsRefuseAnOptionAsTheirOutput()
    {
        QFETCH(QStringList, command);
        QTemporaryDir dir;
        const auto before = folderSnapshot(dir.path());
        command[0] = FIXTURES_DIR "/" + command[0];
        const Run r = runIn(dir.path(), command + QStringList{"--help"}, "python3");
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains("may not begin with '-'"), r.err.constData());
        QCOMPARE(folderSnapshot(dir.path()), before);
    }

    void anOptionsValueMayStartWithADash()
    {
        QTemporaryDir dir;
        const Run r = runIn(dir.path(), {"backup-info", "missing", "--password", "--help"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("Cannot find"), r.err.constData());
    }
};

QTEST_GUILESS_MAIN(TestMsgtoolOptions)
#include "TestMsgtoolOptions.moc"
