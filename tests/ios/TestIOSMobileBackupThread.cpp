// The backup and restore threads against simulated phones and the backup tool's
// stand-in: reuse and removal of earlier backups, failures, a cancel, and devices that
// must be refused before anything is deleted.

#include "ios/IOSMobileBackupThread.h"
#include "ios/IOSMobileRestoreThread.h"

#include "BackupPhone.h"
#include "support/FolderSnapshot.h"
#include "support/WorkerHarness.h"

#include <QTemporaryDir>
#include <QTest>

#include <optional>

#include <signal.h>

namespace {

const QString restartNote = QStringLiteral("<br/><br/>Note: You can restart your device to try again.");
const QString departedText =
    QStringLiteral("The iPhone was disconnected. Please connect it to the computer and try again.");

RecordedRun backUp(IOSDevice& device)
{
    ProgressForm form(QString(), nullptr);
    IOSMobileBackupThread worker(&device, &form);
    return runRecorded(worker, form);
}

RecordedRun restore(IOSDevice& device, const QDir& root)
{
    ProgressForm form(QString(), nullptr);
    IOSMobileRestoreThread worker(&device, root, &form);
    return runRecorded(worker, form);
}

bool pythonOnFolder(const QString& statement, const QString& folder)
{
    return statement.isEmpty() || python("import plistlib,os,sys;F=sys.argv[1]\n" + statement, {folder}).exitCode == 0;
}

} // namespace

class TestIOSMobileBackupThread : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    SimPhoneArrivals m_phones{m_dir.filePath("root")};
    int m_count = 0;

    QString root() const { return m_dir.filePath("base/__veltrominex_iosbk_temp"); }

    IOSDevice plugIn(const QStringList& extraArgs = {})
    {
        const QString udid = QStringLiteral("BACKUP%1").arg(++m_count);
        return plugInBackupPhone(m_phones, udid, m_dir.filePath(udid + "-files"), {}, extraArgs);
    }

    // A phone with a completed backup; no handle when either step failed.
    IOSDevice backedUpPhone()
    {
        IOSDevice device = plugIn();
        if (device.handle && backUp(device).outcome.result != WorkerOutcome::Succeeded)
            return IOSDevice();
        return device;
    }

    bool setToolKnobs(const IOSDevice& device, const QString& pythonDict)
    {
        return editPhoneValues(m_phones.folder(device.uniqueDeviceId), "v['Sim']['BackupTool']=" + pythonDict);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(keepBackupsBelow(m_dir.filePath("base")));
        QFile evil(m_dir.filePath("evil"));
        QVERIFY(evil.open(QIODevice::WriteOnly) && evil.write("written where it must not be") > 0);
    }

    void earlierBackupKeptOrRemoved_data()
    {
        QTest::addColumn<QString>("change");  // python on F, the phone folder
        QTest::addColumn<QString>("version"); // the phone's iOS version at the second backup
        QTest::addColumn<bool>("kept");
        const QString status = "p=F+'/Status.plist';v=plistlib.load(open(p,'rb'));";
        const QString manifest = "p=F+'/Manifest.plist';v=plistlib.load(open(p,'rb'));";
        QTest::newRow("finished, same version") << ""
                                                << "7.1.2" << true;
        QTest::newRow("phone updated to 8.0") << ""
                                              << "8.0" << false;
        QTest::newRow("Finished with a capital")
            << status + "v['SnapshotState']='Finished';plistlib.dump(v,open(p,'wb'))"
            << "7.1.2" << false;
        QTest::newRow("7.1 is not 7.1.2")
            << manifest + "v['Lockdown']['ProductVersion']='7.1';plistlib.dump(v,open(p,'wb'))"
            << "7.1.2" << false;
        QTest::newRow("no Manifest.mbdb") << "os.remove(F+'/Manifest.mbdb')"
                                          << "7.1.2" << false;
        QTest::newRow("Status.plist unreadable") << "open(F+'/Status.plist','wb').write(b'garbage')"
                                                 << "7.1.2" << false;
    }
    void earlierBackupKeptOrRemoved()
    {
        QFETCH(QString, change);
        QFETCH(QString, version);
        QFETCH(bool, kept);
        IOSDevice device = backedUpPhone();
        QVERIFY(device.handle);
        const QString folder = root() + "/" + device.uniqueDeviceId;
        QVERIFY(QFile(folder + "/marker").open(QIODevice::WriteOnly));
        QVERIFY(pythonOnFolder(change, folder));
        QVERIFY(editPhoneValues(m_phones.folder(device.uniqueDeviceId), "v['ProductVersion']='" + version + "'"));
        device.productVersion = version;

        QCOMPARE(backUp(device).outcome.result, WorkerOutcome::Succeeded);
        QCOMPARE(QFileInfo::exists(folder + "/marker"), kept);
        const QJsonObject written = readBackup(folder);
        QCOMPARE(written["SnapshotState"].toString(), "finished");
        QCOMPARE(written["Lockdown"]["ProductVersion"].toString(), version);
    }

    // No finished backup is left over a run that failed, the earlier one included.
    void failedBackupRemovesThePhoneFolder_data()
    {
        QTest::addColumn<QString>("knobs"); // of the failing backup
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("unplug"); // once the tool has begun
        QTest::newRow("the tool fails")
            << "{'Fail': '<b>disk</b> full'}" << "ERROR: &lt;b&gt;disk&lt;/b&gt; full\n\n" + restartNote << false;
        QTest::newRow("unplugged") << "{'DelayMs': 20000}" << departedText << true;
    }
    void failedBackupRemovesThePhoneFolder()
    {
        QFETCH(QString, knobs);
        QFETCH(QString, error);
        QFETCH(bool, unplug);
        IOSDevice device = backedUpPhone();
        QVERIFY(device.handle);
        QVERIFY(setToolKnobs(device, "{'Backup': " + knobs + "}"));
        const QString phone = m_phones.folder(device.uniqueDeviceId);
        // The earlier backup's lines go, so that only this run's command line is seen.
        QVERIFY(QFile::remove(phone + "/calls.log"));
        std::optional<UnplugWhenLogged> unplugger;
        if (unplug)
            unplugger.emplace(phone, "--backup", m_dir.filePath(device.uniqueDeviceId + "-unplugged"));
        const RecordedRun run = backUp(device);
        QCOMPARE(run.outcome.result, WorkerOutcome::Failed);
        QCOMPARE(run.outcome.error, error);
        QVERIFY(!QFileInfo::exists(root() + "/" + device.uniqueDeviceId));
        QVERIFY(QFileInfo::exists(root()));
        QCOMPARE(QFileInfo::exists(phone), !unplug);
    }

    void restoreFailuresKeepTheBackup_data()
    {
        QTest::addColumn<QString>("knobs"); // of the failing restore
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("unplug"); // once the tool has begun
        QTest::newRow("find my iphone")
            << "{'Fail': 'find my iphone must be disabled'}"
            << "Please follow <a href=\"http://127.0.0.1:9/guides/how-to-disable-find-my-iphone.html\"> this "
               "tutorial</a> to disable \"Find my iPhone\" first and then restart your iPhone to try again.<br/><br/>"
            << false;
        QTest::newRow("free space")
            << "{'Fail': 'Insufficient free disk space on device to restore (100 bytes free, 3221225472)'}"
            << "3 GB free disk space on your device is required restore data.  Please remove some camera roll videos "
               "from your device to computer to free up disk space first and then try again."
            << false;
        QTest::newRow("unplugged") << "{'DelayMs': 20000}" << departedText << true;
    }
    void restoreFailuresKeepTheBackup()
    {
        QFETCH(QString, knobs);
        QFETCH(QString, error);
        QFETCH(bool, unplug);
        IOSDevice device = backedUpPhone();
        QVERIFY(device.handle);
        QVERIFY(setToolKnobs(device, "{'Restore': " + knobs + "}"));
        const QMap<QString, QByteArray> before = folderSnapshot(root());
        const QString phone = m_phones.folder(device.uniqueDeviceId);
        std::optional<UnplugWhenLogged> unplugger;
        if (unplug)
            unplugger.emplace(phone, "--restore", m_dir.filePath(device.uniqueDeviceId + "-unplugged"));
        const RecordedRun run = restore(device, QDir(root()));
        QCOMPARE(QFileInfo::exists(phone), !unplug);
        QCOMPARE(run.outcome.result, WorkerOutcome::Failed);
        QCOMPARE(run.outcome.error, error);
        QCOMPARE(run.boxes.size(), 1);
        QVERIFY(run.boxes.first().contains(error));
        QCOMPARE(folderSnapshot(root()), before);
    }

    void damagedBackupIsNotRestored_data()
    {
        QTest::addColumn<QStringList>("damage"); // backup.py arguments after the folder, or a python statement on F
        QTest::addColumn<QString>("error");
        QTest::newRow("a changed file") << QStringList{"import sqlite3;sqlite3.connect(F+'/" + smsDbStoredName
                                                       + "').execute('delete from message').connection.commit()"}
                                        << "ERROR: A file of the backup does not match its digest";
        QTest::newRow("a stored file missing")
            << QStringList{"os.remove(F+'/" + smsDbStoredName + "')"} << "ERROR: A file of the backup is missing";
        QTest::newRow("a path leaving its domain") << QStringList{"add-file", "HomeDomain", "../../../../evil"}
                                                   << "ERROR: The backup holds a path outside its domain";
        QTest::newRow("an absolute path") << QStringList{"add-file", "HomeDomain", "/tmp/evil"}
                                          << "ERROR: The backup holds a path outside its domain";
        QTest::newRow("not finished") << QStringList{"p=F+'/Status.plist';v=plistlib.load(open(p,'rb'));"
                                                     "v['SnapshotState']='new';plistlib.dump(v,open(p,'wb'))"}
                                      << "ERROR: The backup is not complete";
    }
    void damagedBackupIsNotRestored()
    {
        QFETCH(QStringList, damage);
        QFETCH(QString, error);
        IOSDevice device = backedUpPhone();
        QVERIFY(device.handle);
        const QString folder = root() + "/" + device.uniqueDeviceId;
        if (damage.first() == "add-file")
            QCOMPARE(runCli("python3", QStringList{FIXTURES_DIR "/ios/backup.py", "add-file", folder} + damage.mid(1)
                                           + QStringList{m_dir.filePath("evil")})
                         .exitCode,
                     0);
        else
            QVERIFY(pythonOnFolder(damage.first(), folder));
        const QString phone = m_phones.folder(device.uniqueDeviceId);
        const QMap<QString, QByteArray> before = folderSnapshot(phone + "/fs");
        const RecordedRun run = restore(device, QDir(root()));
        QCOMPARE(run.outcome.result, WorkerOutcome::Failed);
        QCOMPARE(run.outcome.error, error + "\n\n" + restartNote);
        QCOMPARE(folderSnapshot(phone + "/fs"), before);
    }

    void cancelKillsTheToolAndKeepsTheFolder()
    {
        IOSDevice device = plugIn();
        QVERIFY(device.handle);
        QVERIFY(setToolKnobs(device, "{'Backup': {'DelayMs': 30000}}"));
        const QString phoneFolder = m_phones.folder(device.uniqueDeviceId);
        ProgressForm form(QString(), nullptr);
        IOSMobileBackupThread worker(&device, &form);
        // Once the tool has begun the backup: it names its process before it writes anything.
        const QString status = root() + "/" + device.uniqueDeviceId + "/Status.plist";
        CancelWhen cancel(form, [&] { return backupToolPid(phoneFolder) > 0 && QFileInfo::exists(status); });
        const RecordedRun run = runRecorded(worker, form);
        QCOMPARE(run.outcome.result, WorkerOutcome::Cancelled);
        QCOMPARE(run.boxes, QStringList());
        QVERIFY(cancel.sinceClick.elapsed() < 5000);
        const pid_t pid = backupToolPid(phoneFolder);
        QVERIFY(pid > 0);
        QCOMPARE(::kill(pid, 0), -1);
        // The killed backup is not finished: the next one starts afresh.
        QCOMPARE(python("import plistlib,sys;print(plistlib.load(open(sys.argv[1],'rb'))['SnapshotState'])", {status})
                     .out.trimmed(),
                 "new");
    }

    void savedVirtualIPhoneIsRefusedUntouched()
    {
        // A saved virtual iPhone is named by its own folder and has no handle.
        const QString virtualPhone = m_dir.filePath("data/virtual_ios/My iPhone");
        QVERIFY(QDir().mkpath(virtualPhone + "/file-relay/var/mobile/Library/SMS"));
        QVERIFY(makeSmsDb(virtualPhone + "/file-relay/var/mobile/Library/SMS/sms.db"));
        const QMap<QString, QByteArray> before = folderSnapshot(virtualPhone);
        IOSDevice device;
        device.uniqueDeviceId = virtualPhone;
        device.productVersion = "7.1.2";

        const RecordedRun backedUp = backUp(device);
        QCOMPARE(backedUp.outcome.result, WorkerOutcome::Failed);
        QVERIFY(backedUp.outcome.error.contains("not connected"));
        const RecordedRun restored = restore(device, QDir(m_dir.filePath("data/virtual_ios")));
        QCOMPARE(restored.outcome.result, WorkerOutcome::Failed);
        QCOMPARE(folderSnapshot(virtualPhone), before);
        QVERIFY(!before.isEmpty());
    }

    void hostileIdentifierIsRefused()
    {
        IOSDevice device = plugIn();
        QVERIFY(device.handle);
        const QString outside = m_dir.filePath("base/outside");
        QVERIFY(QDir().mkpath(outside));
        QVERIFY(QFile(outside + "/keep").open(QIODevice::WriteOnly));
        device.uniqueDeviceId = "../outside";
        const RecordedRun run = backUp(device);
        QCOMPARE(run.outcome.result, WorkerOutcome::Failed);
        QVERIFY(QFileInfo::exists(outside + "/keep"));
        QVERIFY(!callsLog(m_phones.folder(QStringLiteral("BACKUP%1").arg(m_count))).join('\n').contains("--backup"));
    }
};

QTEST_MAIN(TestIOSMobileBackupThread)
#include "TestIOSMobileBackupThread.moc"
#include "moc_SimPhoneArrivals.cpp"
