#include "android/AndroidConnectWithWiFiThread.h"

#include "support/FakeAdb.h"
#include "support/WorkerHarness.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

namespace {

const QString serial = QStringLiteral("wifi-phone");

bool phoneLogHas(const FakeAdb& fake, const char* text)
{
    QFile log(fake.phoneFolder(serial) + QStringLiteral("/phone.log"));
    return log.open(QIODevice::ReadOnly) && log.readAll().contains(text);
}

} // namespace

// Each test has a loopback address of its own for the app's Wi-Fi launcher.
class TestAndroidConnectWithWiFiThread : public QObject
{
    Q_OBJECT

private slots:
    void readsDeviceInformation();
    void launcherErrorShownAsItIs();
    void cancelDuringSilentPhone();
};

void TestAndroidConnectWithWiFiThread::readsDeviceInformation()
{
    FakeAdb fake;
    fake.setPhone(serial, {{"hello", QJsonObject{{"model", "Tablet"}, {"version", "11"}}}});
    QVERIFY(fake.startWifiLauncher(QStringLiteral("127.0.0.3"), serial));
    ProgressForm form(QString(), nullptr);
    AndroidConnectWithWiFiThread thread(QStringLiteral("127.0.0.3"), &form, nullptr);
    const RecordedRun run = runRecorded(thread, form);

    QCOMPARE(run.outcome.result, WorkerOutcome::Succeeded);
    QVERIFY(run.boxes.isEmpty());
    QCOMPARE(run.steps, QList<ProgressStep>({{QStringLiteral("IDS_GET_ANDROID_DEVICE_INFO"), 99, "Progress:99%"}}));
    const AndroidDevice& device = thread.device();
    QVERIFY(device.isWifi);
    QCOMPARE(device.host, QStringLiteral("127.0.0.3"));
    QCOMPARE(device.port, 44441);
    QCOMPARE(device.id(), QStringLiteral("sim-wifi-phone"));
    QCOMPARE(device.displayName(), QStringLiteral("Sim Tablet"));
    QCOMPARE(device.version, 11);
    QTRY_VERIFY(phoneLogHas(fake, R"("dir": "in", "line": "$bye:")"));
}

void TestAndroidConnectWithWiFiThread::launcherErrorShownAsItIs()
{
    FakeAdb fake;
    fake.setPhone(serial, {{"scenario", QJsonObject{{"launcher_error", "Wi-Fi sync is off"}}}});
    QVERIFY(fake.startWifiLauncher(QStringLiteral("127.0.0.5"), serial));
    ProgressForm form(QString(), nullptr);
    AndroidConnectWithWiFiThread thread(QStringLiteral("127.0.0.5"), &form, nullptr);
    const RecordedRun run = runRecorded(thread, form);
    QCOMPARE(run.outcome.result, WorkerOutcome::Failed);
    QVERIFY2(QRegularExpression(QStringLiteral("^start device2://127\\.0\\.0\\.1:\\d+ failed\\.Wi-Fi sync is off\\z"))
                 .match(run.outcome.error)
                 .hasMatch(),
             qPrintable(run.outcome.error));
}

// The phone opens the session and then never says who it is; Cancel must free the program.
void TestAndroidConnectWithWiFiThread::cancelDuringSilentPhone()
{
    FakeAdb fake;
    fake.setPhone(serial, {{"scenario", QJsonObject{{"silent", "hello"}}}});
    QVERIFY(fake.startWifiLauncher(QStringLiteral("127.0.0.6"), serial));
    ProgressForm form(QString(), nullptr);
    AndroidConnectWithWiFiThread thread(QStringLiteral("127.0.0.6"), &form, nullptr);
    QElapsedTimer sinceCancel;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &form, [&] {
        if (phoneLogHas(fake, "$ready:")) {
            watch.stop();
            sinceCancel.start();
            QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("btnCancel")), Qt::LeftButton);
        }
    });
    watch.start(20);
    const RecordedRun run = runRecorded(thread, form);
    QVERIFY(sinceCancel.isValid());
    QVERIFY2(sinceCancel.elapsed() < 1000, qPrintable(QString::number(sinceCancel.elapsed())));
    QVERIFY(thread.isFinished());
    QCOMPARE(run.outcome.result, WorkerOutcome::Cancelled);
    QVERIFY(run.boxes.isEmpty());
}

QTEST_MAIN(TestAndroidConnectWithWiFiThread)
#include "TestAndroidConnectWithWiFiThread.moc"
