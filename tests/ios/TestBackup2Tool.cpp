// The backup tool driver against the tool's stand-in and simulated phones: its estimate,
// its command lines, its reading of the tool's output, a missing tool and a cancel.

#include "ios/backup2tool.h"

#include "BackupPhone.h"

#include <QLoggingCategory>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <optional>

#include <signal.h>

namespace {

// run() on a worker thread, as the worker threads call it; the error text when it threw.
std::optional<QString> runOnWorker(backup2tool& tool, int operation, const std::function<void()>& meanwhile = {})
{
    std::optional<QString> error;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        try {
            tool.run(operation);
        } catch (const std::exception& e) {
            error = QString::fromUtf8(e.what());
        }
    }));
    worker->start();
    if (meanwhile)
        meanwhile();
    while (!worker->wait(10))
        QCoreApplication::processEvents();
    return error;
}

// run() with the tool looked for below programFiles instead of the stand-in's folder.
std::optional<QString> runWithToolsIn(const QString& programFiles, backup2tool& tool, int operation)
{
    const QByteArray saved = qgetenv("CommonProgramFiles");
    qputenv("CommonProgramFiles", QFile::encodeName(programFiles));
    const std::optional<QString> error = runOnWorker(tool, operation);
    qputenv("CommonProgramFiles", saved);
    if (saved.isNull())
        qunsetenv("CommonProgramFiles");
    return error;
}

} // namespace

class TestBackup2Tool : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    SimPhoneArrivals m_phones{m_dir.filePath("root")};
    int m_count = 0;

    // knobs: the tool's stand-in's knobs for the operation ("Backup" or "Restore").
    IOSDevice plugIn(const QString& knobs, const QString& operation = QStringLiteral("Backup"))
    {
        const QString udid = QStringLiteral("TOOL%1").arg(++m_count);
        IOSDevice device = m_phones.plugIn(udid);
        if (!knobs.isEmpty()
            && !editPhoneValues(m_phones.folder(udid),
                                QStringLiteral("v['Sim']['BackupTool']={'%1': %2}").arg(operation, knobs)))
            return IOSDevice();
        return device;
    }

    QDir backupRoot() const { return QDir(m_dir.filePath("backups")); }

private slots:
    void estimate_data()
    {
        QTest::addColumn<qint64>("usedMegabytes");
        QTest::addColumn<qint64>("seconds");
        QTest::newRow("10000 MB") << qint64(10000) << qint64(300);
        QTest::newRow("nothing used") << qint64(0) << qint64(60);
        QTest::newRow("more free than capacity") << qint64(-5) << qint64(60);
        QTest::newRow("a few MB is still a second") << qint64(20) << qint64(1);
    }
    void estimate()
    {
        QFETCH(qint64, usedMegabytes);
        QFETCH(qint64, seconds);
        QCOMPARE(backupEstimateSeconds(usedMegabytes), seconds);
    }

    void progress_data()
    {
        QTest::addColumn<qint64>("elapsed");
        QTest::addColumn<qint64>("estimate");
        QTest::addColumn<double>("percent");
        QTest::newRow("half way") << qint64(150) << qint64(300) << 49.5;
        QTest::newRow("at the estimate") << qint64(300) << qint64(300) << 99.0;
        QTest::newRow("past it") << qint64(1000) << qint64(300) << 99.0;
        QTest::newRow("estimate 0 divides by 1") << qint64(0) << qint64(0) << 0.0;
    }
    void progress()
    {
        QFETCH(qint64, elapsed);
        QFETCH(qint64, estimate);
        QFETCH(double, percent);
        QCOMPARE(backupProgress(elapsed, estimate), percent);
    }

    void commandLinesReachTheTool()
    {
        IOSDevice device = plugIn({});
        QVERIFY(device.handle);
        backup2tool tool(device.handle, device.uniqueDeviceId, backupRoot());
        QCOMPARE(runOnWorker(tool, backup2tool_backup), std::nullopt);
        QCOMPARE(runOnWorker(tool, backup2tool_restore), std::nullopt);
        const QString u = device.uniqueDeviceId;
        const QString root = backupRoot().absolutePath();
        const QStringList log = callsLog(m_phones.folder(u));
        QVERIFY(log.contains(QStringLiteral("-u %1 --backup --target %1 --root %2").arg(u, root)));
        QVERIFY(log.contains(QStringLiteral("-u %1 --restore --target %1 --root %2 --source %1").arg(u, root)));
    }

    void outputDecides_data()
    {
        QTest::addColumn<int>("operation");
        QTest::addColumn<QString>("knobs");
        QTest::addColumn<QString>("error"); // empty: the run succeeds
        const int backup = backup2tool_backup;
        QTest::newRow("ERROR on stderr") << backup << "{'Stdout': 'done', 'Stderr': 'ERROR: broken'}"
                                         << "ERROR: broken\ndone";
        QTest::newRow("Error on stdout, exit 0") << backup << "{'Stdout': 'Error in step 2'}"
                                                 << "\nError in step 2";
        QTest::newRow("failure knob") << backup << "{'Fail': 'device locked'}"
                                      << "ERROR: device locked\n\n";
        QTest::newRow("empty output") << backup << "{'Stdout': ''}"
                                      << "";
        QTest::newRow("exit code with output") << backup << "{'Stdout': 'fine', 'ExitCode': 3}"
                                               << "\nfine";
        QTest::newRow("exit code, nothing printed") << backup << "{'Stdout': '', 'ExitCode': 1}"
                                                    << "AppleMobileBackup failed (exit 1)";
        QTest::newRow("restore that exits 1")
            << int(backup2tool_restore) << "{'Stdout': 'Restore failed: device busy', 'ExitCode': 1}"
            << "\nRestore failed: device busy";
        QTest::newRow("error after a NUL, exit 0") << backup << "{'Stdout': b'ok\\x00 error'}"
                                                   << "\nok";
        QTest::newRow("exit 5, ERROR after a NUL") << backup << "{'Stdout': b'\\x00ERROR: disk full', 'ExitCode': 5}"
                                                   << "AppleMobileBackup failed (exit 5)";
    }
    void outputDecides()
    {
        QFETCH(int, operation);
        QFETCH(QString, knobs);
        QFETCH(QString, error);
        const bool restore = operation == backup2tool_restore;
        IOSDevice device = plugIn(knobs, restore ? "Restore" : "Backup");
        QVERIFY(device.handle);
        backup2tool tool(device.handle, device.uniqueDeviceId, backupRoot());
        if (restore)
            QCOMPARE(runOnWorker(tool, backup2tool_backup), std::nullopt);
        QCOMPARE(runOnWorker(tool, operation).value_or(QString()), error);
    }

    // A tool of our own that prints 10 MB between two marks and exits 2.
    void longOutputKeepsItsEnds()
    {
        IOSDevice device = plugIn({});
        QVERIFY(device.handle);
        QTemporaryDir programFiles;
        const QString toolFolder = programFiles.filePath("Apple/Mobile Device Support");
        QVERIFY(QDir().mkpath(toolFolder));
        QFile script(toolFolder + QLatin1Char('/') + QLatin1String(backupToolName));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf FIRST; head -c 10000000 /dev/zero | tr '\\0' x; printf LAST; exit 2\n");
        script.close();
        QVERIFY(script.setPermissions(script.permissions() | QFile::ExeOwner));
        backup2tool tool(device.handle, device.uniqueDeviceId, backupRoot());
        // The debug log gets the whole kept output, too much for the test's own.
        QLoggingCategory::setFilterRules(QStringLiteral("ios.debug=false"));
        const QString error = runWithToolsIn(programFiles.path(), tool, backup2tool_backup).value_or(QString());
        QLoggingCategory::setFilterRules(QString());
        const qsizetype kept = 64 * 1024;
        const QString leftOut = QStringLiteral("\n[... %1 bytes of output left out ...]\n").arg(10000009 - 2 * kept);
        QCOMPARE(error, "\nFIRST" + QString(kept - 5, 'x') + leftOut + QString(kept - 4, 'x') + "LAST");
    }

    // The phone leaves while the tool waits on it: the tool fails, leaves its backup
    // unfinished, and never makes a folder where the phone was.
    void unpluggedPhoneFailsTheTool_data()
    {
        QTest::addColumn<int>("operation");
        QTest::newRow("backup") << int(backup2tool_backup);
        QTest::newRow("restore") << int(backup2tool_restore);
    }
    void unpluggedPhoneFailsTheTool()
    {
        QFETCH(int, operation);
        IOSDevice device = plugIn({});
        QVERIFY(device.handle);
        backup2tool tool(device.handle, device.uniqueDeviceId, backupRoot());
        QCOMPARE(runOnWorker(tool, backup2tool_backup), std::nullopt);
        const QString phone = m_phones.folder(device.uniqueDeviceId);
        const QString slow = operation == backup2tool_backup ? "Backup" : "Restore";
        QVERIFY(editPhoneValues(phone, "v['Sim']['BackupTool']={'" + slow + "': {'DelayMs': 20000}}"));
        const QString away = m_dir.filePath("unplugged-" + device.uniqueDeviceId);
        const QString line = operation == backup2tool_backup ? "--backup" : "--restore";
        QElapsedTimer timer;
        timer.start();
        const std::optional<QString> error = runOnWorker(tool, operation, [&] {
            QTRY_VERIFY_WITH_TIMEOUT(callsLog(phone).filter(line).size() == (operation == backup2tool_backup ? 2 : 1),
                                     10000);
            QVERIFY(QDir().rename(phone, away));
        });
        QVERIFY(timer.elapsed() < 10000);
        QVERIFY2(error && error->contains("ERROR: The device was disconnected"), qPrintable(error.value_or("none")));
        QVERIFY(!QFileInfo::exists(phone));
        if (operation == backup2tool_backup)
            QCOMPARE(readBackup(backupRoot().absoluteFilePath(device.uniqueDeviceId))["SnapshotState"].toString(),
                     "new");
    }

    void missingToolFailsQuickly()
    {
        IOSDevice device = plugIn({});
        QVERIFY(device.handle);
        QTemporaryDir empty;
        backup2tool tool(device.handle, device.uniqueDeviceId, backupRoot());
        QElapsedTimer timer;
        timer.start();
        const std::optional<QString> error = runWithToolsIn(empty.path(), tool, backup2tool_backup);
        QCOMPARE(error, QStringLiteral("can not start AppleMobileBackup process."));
        QVERIFY(timer.elapsed() < 5000);
    }

    void unknownOperationStartsNothing()
    {
        IOSDevice device = plugIn({});
        QVERIFY(device.handle);
        backup2tool tool(device.handle, device.uniqueDeviceId, backupRoot());
        QCOMPARE(runOnWorker(tool, 2), QStringLiteral("unknown backup2tool_op."));
        QVERIFY(!callsLog(m_phones.folder(device.uniqueDeviceId)).join('\n').contains("--"));
    }

    void aToolKilledFromOutsideHasFailed()
    {
        IOSDevice device = plugIn("{'DelayMs': 20000}");
        QVERIFY(device.handle);
        backup2tool tool(device.handle, device.uniqueDeviceId, backupRoot());
        const QString phoneFolder = m_phones.folder(device.uniqueDeviceId);
        const std::optional<QString> error = runOnWorker(tool, backup2tool_backup, [&] {
            pid_t pid = 0;
            QTRY_VERIFY_WITH_TIMEOUT((pid = backupToolPid(phoneFolder)) > 0, 10000);
            QCOMPARE(::kill(pid, SIGKILL), 0);
        });
        QCOMPARE(error, QStringLiteral("AppleMobileBackup crashed"));
    }

    void cancelKillsTheTool()
    {
        IOSDevice device = plugIn("{'DelayMs': 20000}");
        QVERIFY(device.handle);
        backup2tool tool(device.handle, device.uniqueDeviceId, backupRoot());
        QSignalSpy updates(&tool, &backup2tool::update);
        const QString phoneFolder = m_phones.folder(device.uniqueDeviceId);
        QElapsedTimer timer;
        timer.start();
        const std::optional<QString> error = runOnWorker(tool, backup2tool_backup, [&] {
            QTRY_VERIFY_WITH_TIMEOUT(backupToolPid(phoneFolder) > 0, 10000);
            QTest::qWait(500);
            tool.cancel();
        });
        QCOMPARE(error, std::nullopt);
        QVERIFY(timer.elapsed() < 10000);
        const pid_t pid = backupToolPid(phoneFolder);
        QVERIFY(pid > 0);
        QCOMPARE(::kill(pid, 0), -1);
        QVERIFY(!updates.isEmpty());
        const QList<QVariant> last = updates.last();
        QVERIFY(last.at(0).toDouble() >= 0 && last.at(0).toDouble() <= 99);
        QCOMPARE(last.at(1).toString(), QString());
        QVERIFY(last.at(2).toString().endsWith(" seconds passed"));
    }
};

QTEST_GUILESS_MAIN(TestBackup2Tool)
#include "TestBackup2Tool.moc"
#include "moc_SimPhoneArrivals.cpp"
