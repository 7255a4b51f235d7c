// msgtool ios-backup and ios-restore from outside, as a shell would run them, against a
// simulated phone and the backup tool's stand-in.

#include "BackupPhone.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

class TestMsgtoolIosBackup : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("SIMDEVICE_ROOT", m_dir.filePath("root"));
        return env;
    }

    bool makeBackupPhone(const QString& udid, const QJsonObject& sim = {})
    {
        const QString sms = m_dir.filePath(udid + ".db");
        return makeSmsDb(sms) && makePhone(m_dir.filePath("root"), udid, sim, {"--sms", sms});
    }

private slots:
    void initTestCase() { QVERIFY(keepBackupsBelow(m_dir.filePath("base"))); }

    void backupThenRestore()
    {
        QVERIFY(makeBackupPhone("MSGTOOL1"));
        const CliResult backup = msgtool({"ios-backup", "MSGTOOL1", "--wait", "20"}, environment());
        QVERIFY2(backup.exitCode == 0, backup.err.constData());
        const QString folder = QJsonDocument::fromJson(backup.out).object()["folder"].toString();
        QCOMPARE(folder, m_dir.filePath("base/__veltrominex_iosbk_temp/MSGTOOL1"));
        QCOMPARE(readBackup(folder)["SnapshotState"].toString(), "finished");

        QCOMPARE(runCli("sqlite3", {folder + "/" + smsDbStoredName, "delete from message"}).exitCode, 0);
        QCOMPARE(
            runCli("python3", {FIXTURES_DIR "/ios/backup.py", "fix-digest", folder, "HomeDomain", "Library/SMS/sms.db"})
                .exitCode,
            0);
        const CliResult restore = msgtool({"ios-restore", "MSGTOOL1", folder, "--wait", "20"}, environment());
        QVERIFY2(restore.exitCode == 0, restore.err.constData());
        QCOMPARE(QJsonDocument::fromJson(restore.out).object(), (QJsonObject{{"restored", true}}));
        QCOMPARE(sqliteCli(m_dir.filePath("root/MSGTOOL1/fs/" + smsDbDevicePath), "select count(*) from message"), "0");
    }

    void failedRestoreGivesTheAdvice()
    {
        const QJsonObject restoreKnobs{{"Fail", "Find My iPhone must be disabled"}};
        QVERIFY(makeBackupPhone("MSGTOOL2", {{"BackupTool", QJsonObject{{"Restore", restoreKnobs}}}}));
        const CliResult backup = msgtool({"ios-backup", "MSGTOOL2", "--wait", "20"}, environment());
        QCOMPARE(backup.exitCode, 0);
        const QString folder = QJsonDocument::fromJson(backup.out).object()["folder"].toString();
        const CliResult restore = msgtool({"ios-restore", "MSGTOOL2", folder, "--wait", "20"}, environment());
        QCOMPARE(restore.exitCode, 1);
        QVERIFY2(restore.err.contains("this tutorial</a> to disable \"Find my iPhone\""), restore.err.constData());
        QVERIFY(QFileInfo::exists(folder + "/Manifest.mbdb"));
    }

    // The phone leaves while the tool works on it: exit 1 with that said, no success
    // text, no finished backup over an incomplete one, the phone's messages kept.
    void unplugged_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("backup") << "ios-backup";
        QTest::newRow("restore") << "ios-restore";
    }
    void unplugged()
    {
        QFETCH(QString, command);
        const QString udid = "UNPLUGGED-" + command.toUpper();
        const QString tool = command == "ios-backup" ? "Backup" : "Restore";
        QVERIFY(makeBackupPhone(udid));
        const CliResult backup = msgtool({"ios-backup", udid, "--wait", "20"}, environment());
        QCOMPARE(backup.exitCode, 0);
        const QString folder = QJsonDocument::fromJson(backup.out).object()["folder"].toString();
        const QString phone = m_dir.filePath("root/" + udid);
        QVERIFY(editPhoneValues(phone, "v['Sim']['BackupTool']={'" + tool + "': {'DelayMs': 20000}}"));
        QVERIFY(QFile::remove(phone + "/calls.log"));
        const QByteArray before = runCli("sha1sum", {phone + "/fs/" + smsDbDevicePath}).out.left(40);

        const QString away = m_dir.filePath(udid + "-unplugged");
        QStringList args{command, udid};
        if (command == "ios-restore")
            args << folder;
        const CliResult r = msgtoolUnplugging(args + QStringList{"--wait", "20"}, environment(), phone,
                                              "--" + tool.toLower(), away);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("msgtool: The iPhone was disconnected."), r.err.constData());
        QVERIFY2(!r.err.contains(tool.toUtf8() + " Successful"), r.err.constData());
        QCOMPARE(r.out, QByteArray());
        QVERIFY(!QFileInfo::exists(phone));
        QCOMPARE(runCli("sha1sum", {away + "/fs/" + smsDbDevicePath}).out.left(40), before);
        if (tool == "Backup")
            QVERIFY(!QFileInfo::exists(folder));
        else
            QCOMPARE(readBackup(folder)["SnapshotState"].toString(), "finished");
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("backup without UDID") << QStringList{"ios-backup"};
        QTest::newRow("backup with two") << QStringList{"ios-backup", "A", "B"};
        QTest::newRow("restore folder of another phone") << QStringList{"ios-restore", "A", "/tmp/backups/B"};
        QTest::newRow("restore without folder") << QStringList{"ios-restore", "A"};
        QTest::newRow("unknown option") << QStringList{"ios-backup", "A", "--fast"};
    }
    void usageErrors()
    {
        QFETCH(QStringList, args);
        const CliResult r = msgtool(args, environment());
        QCOMPARE(r.exitCode, 2);
        QVERIFY(r.err.contains("usage: msgtool " + args.first().toUtf8()));
    }
};

QTEST_GUILESS_MAIN(TestMsgtoolIosBackup)
#include "TestMsgtoolIosBackup.moc"
#include "moc_SimPhoneArrivals.cpp"
