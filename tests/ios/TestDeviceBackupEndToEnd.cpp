// An iPhone arrives, its databases come through file_relay, it is backed up into a
// temporary root, a message is added to the backup, the backup is restored onto the phone,
// and the phone is unplugged: the simulated device library and backup tool on one side,
// the program's own workers on the other, every result checked by tools that are not ours.

#include "ios/IOSLoadFileRelayThread.h"
#include "ios/IOSMobileBackupThread.h"
#include "ios/IOSMobileRestoreThread.h"

#include "BackupPhone.h"
#include "ios/mobiledevice_session.h"
#include "support/WorkerHarness.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray sha1sum(const QString& path)
{
    return runCli("sha1sum", {path}).out.left(40);
}

} // namespace

class TestDeviceBackupEndToEnd : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    SimPhoneArrivals m_phones{m_dir.filePath("root")};

private slots:
    void initTestCase() { QVERIFY(keepBackupsBelow(m_dir.filePath("base"))); }

    void arrivalBackupRestoreRemoval()
    {
        const QString udid = "E2E0000000000000000000000000000000000001";
        IOSDevice device = plugInBackupPhone(m_phones, udid, m_dir.filePath("work"));
        QVERIFY(device.handle);
        const QString phone = m_phones.folder(udid);
        const QList<CFType> values = mobiledevice_copy_values(
            device.handle, {"UniqueDeviceID", "DeviceName", "ProductVersion", "ProductType", "SerialNumber"}, {});
        QCOMPARE(values.at(0).toString(), udid);
        QCOMPARE(values.at(2).toString(), "7.1.2");
        QVERIFY(!values.at(4).toString().isEmpty());
        QCOMPARE(device.versionNumbers(), (QList<int>{7, 1, 2}));

        {
            ProgressForm form(QString(), nullptr);
            IOSLoadFileRelayThread relay(&device, &form);
            QCOMPARE(runRecorded(relay, form).outcome.result, WorkerOutcome::Succeeded);
        }
        const QString cached = device.cacheDir().absoluteFilePath("file-relay/" + smsDbDevicePath);
        QCOMPARE(sha1sum(cached), sha1sum(phone + "/fs/" + smsDbDevicePath));
        QVERIFY(!QFileInfo::exists(device.cacheDir().absoluteFilePath("file-relay.cpio")));

        ProgressForm backupForm(QString(), nullptr);
        IOSMobileBackupThread backup(&device, &backupForm);
        const RecordedRun backedUp = runRecorded(backup, backupForm);
        QCOMPARE(backedUp.outcome.result, WorkerOutcome::Succeeded);
        QCOMPARE(backedUp.boxes, QStringList());
        QCOMPARE(backedUp.steps.first(), (ProgressStep{"IDS_BACKING_UP_IOS", 0, "Progress:0%"}));
        const QString root = backup.backupDir().absolutePath();
        QCOMPARE(root, m_dir.filePath("base/__veltrominex_iosbk_temp"));
        QCOMPARE(runCli("stat", {"-c", "%a", root}).out.trimmed(), "700");
        const QString folder = root + "/" + udid;

        const QJsonObject written = readBackup(folder);
        QCOMPARE(written["SnapshotState"].toString(), "finished");
        QCOMPARE(written["Lockdown"]["ProductVersion"].toString(), "7.1.2");
        QCOMPARE(written["Lockdown"]["UniqueDeviceID"].toString(), udid);
        const QJsonObject smsRecord = backupRecord(written, "HomeDomain", "Library/SMS/sms.db");
        QCOMPARE(smsRecord["digest"].toString().toLatin1(), sha1sum(folder + "/" + smsDbStoredName));
        QCOMPARE(sha1sum(folder + "/" + smsDbStoredName), sha1sum(phone + "/fs/" + smsDbDevicePath));
        for (const char* path : {"Library", "Library/SMS", "Library/AddressBook"})
            QCOMPARE(backupRecord(written, "HomeDomain", path)["mode"].toInt(), 0x41ED);
        QVERIFY(!backupRecord(written, "MediaDomain", "Library/SMS/Attachments/ab/01/IMG_0001.JPG").isEmpty());
        QVERIFY(callsLog(phone).contains(QString("-u %1 --backup --target %1 --root %2").arg(udid, root)));
        // The program's own backup reader takes the tool's folder as an iTunes backup.
        const CliResult cache = msgtool({"cache", folder});
        QCOMPARE(cache.exitCode, 0);
        QVERIFY2(cache.out.contains("file-relay/var/mobile/Library/SMS/sms.db"), cache.out);

        const QString phoneDb = phone + "/fs/" + smsDbDevicePath;
        const int before = sqliteCli(phoneDb, "select count(*) from message").toInt();
        QVERIFY(QFile::remove(phoneDb));
        QCOMPARE(runCli("sqlite3", {folder + "/" + smsDbStoredName,
                                    "insert into message (guid, text, date, is_from_me) values ('E2E-1', 'restored', "
                                    "400000000, 1)"})
                     .exitCode,
                 0);
        QCOMPARE(
            runCli("python3", {FIXTURES_DIR "/ios/backup.py", "fix-digest", folder, "HomeDomain", "Library/SMS/sms.db"})
                .exitCode,
            0);

        ProgressForm restoreForm(QString(), nullptr);
        IOSMobileRestoreThread restore(&device, backup.backupDir(), &restoreForm);
        const RecordedRun restored = runRecorded(restore, restoreForm);
        QCOMPARE(restored.outcome.result, WorkerOutcome::Succeeded);
        QCOMPARE(restored.steps.first(), (ProgressStep{"IDS_RESTORING_BACKUP_TO_IOS", 0, "Progress:0%"}));
        QCOMPARE(sqliteCli(phoneDb, "select count(*) from message").toInt(), before + 1);
        QCOMPARE(sqliteCli(phoneDb, "select text from message where guid = 'E2E-1'"), "restored");
        QVERIFY(callsLog(phone).contains(QString("-u %1 --restore --target %1 --root %2 --source %1").arg(udid, root)));

        QVERIFY(QDir().rename(phone, m_dir.filePath("unplugged")));
        QTRY_VERIFY_WITH_TIMEOUT(m_phones.departed().contains(device.handle), 5000);
    }
};

QTEST_MAIN(TestDeviceBackupEndToEnd)
#include "TestDeviceBackupEndToEnd.moc"
#include "moc_SimPhoneArrivals.cpp"
