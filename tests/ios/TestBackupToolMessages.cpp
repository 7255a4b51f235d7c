// What the backup and restore threads tell the user about a device they refuse and about
// the tool's failures.

#include "ios/BackupToolMessages.h"

#include "ios/IOSDevice.h"

#include <QTest>

namespace {

const QString note = QStringLiteral("<br/><br/>Note: You can restart your device to try again.");

QString freeSpaceText(const QString& gigabytes)
{
    return gigabytes
           + QStringLiteral(
               " GB free disk space on your device is required restore data.  Please remove some camera roll "
               "videos from your device to computer to free up disk space first and then try again.");
}

QString freeSpacePhrase(qint64 bytes)
{
    return QStringLiteral("ERROR: Insufficient free disk space on device to restore (1024 bytes available, %1)")
        .arg(bytes);
}

} // namespace

class TestBackupToolMessages : public QObject
{
    Q_OBJECT

private slots:
    void restoreFailures_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QString>("message");
        const QString advice = QStringLiteral(
            "Please follow <a href=\"http://127.0.0.1:9/guides/how-to-disable-find-my-iphone.html\"> this tutorial</a> "
            "to disable \"Find my iPhone\" first and then restart your iPhone to try again.<br/><br/>");
        QTest::newRow("find my iphone in lower case") << "ERROR: find my iphone must be disabled" << advice;
        QTest::newRow("both phrases: the advice wins")
            << "Find My iPhone must be disabled. " + freeSpacePhrase(3LL << 30) << advice;
        QTest::newRow("3 GiB") << freeSpacePhrase(3LL << 30) << freeSpaceText("3");
        QTest::newRow("12 GiB is not 1e+01") << freeSpacePhrase(12LL << 30) << freeSpaceText("12");
        QTest::newRow("1.4 GiB keeps its decimal")
            << freeSpacePhrase(qint64(1.4 * (1LL << 30))) << freeSpaceText("1.4");
        QTest::newRow("other text: escaped, with the note") << "ERROR: <b>bad</b> & worse"
                                                            << "ERROR: &lt;b&gt;bad&lt;/b&gt; &amp; worse" + note;
    }
    void restoreFailures()
    {
        QFETCH(QString, tool);
        QFETCH(QString, message);
        QCOMPARE(restoreFailureMessage(tool), message);
    }

    void backupFailureIsEscapedWithTheNote()
    {
        QCOMPARE(backupFailureMessage("ERROR: <i>x</i> &lt;"), "ERROR: &lt;i&gt;x&lt;/i&gt; &amp;lt;" + note);
    }

    void refusedDevices_data()
    {
        QTest::addColumn<QString>("udid");
        QTest::addColumn<bool>("handle");
        QTest::addColumn<bool>("refused");
        QTest::newRow("connected phone") << "00008030-ABC" << true << false;
        QTest::newRow("saved virtual iPhone") << "/home/u/virtual_ios/phone" << false << true;
        QTest::newRow("no handle, plain id") << "00008030-ABC" << false << true;
        QTest::newRow("empty id") << "" << true << true;
        QTest::newRow("parent folder") << "../x" << true << true;
        QTest::newRow("absolute path") << "/tmp/x" << true << true;
    }
    void refusedDevices()
    {
        QFETCH(QString, udid);
        QFETCH(bool, handle);
        QFETCH(bool, refused);
        IOSDevice device;
        device.uniqueDeviceId = udid;
        int anything = 0;
        device.handle = handle ? &anything : nullptr;
        QCOMPARE(!deviceBackupRefusal(device).isEmpty(), refused);
    }
};

QTEST_GUILESS_MAIN(TestBackupToolMessages)
#include "TestBackupToolMessages.moc"
