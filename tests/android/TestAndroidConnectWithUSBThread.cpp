#include "android/AndroidConnectWithUSBThread.h"

#include "frame/DataFolder.h"
#include "support/FakeAdb.h"
#include "support/WorkerHarness.h"

#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QTranslator>

namespace {

const QString serial = QStringLiteral("emulator-5554");
const QString companionReceiver = QStringLiteral("com.veltrominex.smssync/.AdbSyncBroadcastReceiver");

// The calls of the run, each shortened to its command ("pm", "install", "am", "forward").
QStringList commands(const FakeAdb& fake)
{
    QStringList shown;
    for (const QString& call : fake.calls()) {
        const QJsonArray args = QJsonDocument::fromJson(call.toUtf8()).array();
        const QString command = args[2].toString();
        shown << (command == QLatin1String("shell") ? args[3].toString() : command);
    }
    return shown;
}

QString sha1sum(const QString& path)
{
    return QString::fromLatin1(runCli(QStringLiteral("sha1sum"), {path}).out.left(40));
}

const QString googlePlay = QStringLiteral("Please go to Google Play on your Android Phone to download and install "
                                          "Veltrominex SMS Sync first and then try again. <br/><br/>Error:");

} // namespace

class TestAndroidConnectWithUSBThread : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void connect_data();
    void connect();
    void cancelWhileInstalling();
    void englishTexts();
};

// Each run starts without a copy of the app in the data folder.
void TestAndroidConnectWithUSBThread::init()
{
    QFile::remove(appDataDir().filePath(QStringLiteral("com.veltrominex.smssync.apk")));
}

void TestAndroidConnectWithUSBThread::connect_data()
{
    QTest::addColumn<QJsonObject>("phone");
    QTest::addColumn<WorkerOutcome::Result>("result");
    QTest::addColumn<QString>("error"); // how the error text begins
    QTest::addColumn<QString>("errorEnd"); // a pattern for how it ends
    QTest::addColumn<QStringList>("commands");

    const QJsonArray installed{"android", "com.veltrominex.smssync"};
    const QStringList withoutInstall{"pm", "am", "forward"};
    QTest::newRow("app present") << QJsonObject{{"packages", installed}} << WorkerOutcome::Succeeded << ""
                                 << "" << withoutInstall;
    QTest::newRow("app missing: installed") << QJsonObject() << WorkerOutcome::Succeeded << ""
                                            << "" << QStringList{"pm", "install", "am", "forward"};
    QTest::newRow("install refused") << QJsonObject{{"scenario", QJsonObject{{"install", "fail"}}}}
                                     << WorkerOutcome::Failed << googlePlay + "adb: failed to install "
                                     << "INSTALL_FAILED_INVALID_APK.*\\]\\n\\nPerforming Streamed Install\\n"
                                     << QStringList{"pm", "install"};
    QTest::newRow("install without Success") << QJsonObject{{"scenario", QJsonObject{{"install", "no-success"}}}}
                                             << WorkerOutcome::Failed << googlePlay + "Performing Streamed Install\n"
                                             << "" << QStringList{"pm", "install"};
    QTest::newRow("version 9 too old")
        << QJsonObject{{"packages", installed}, {"hello", QJsonObject{{"version", "9"}}}} << WorkerOutcome::Failed
        << "Veltrominex SMS Sync on Android is too old. 3.1.10 needed. Please update it from Google Play."
        << "" << withoutInstall;
    QTest::newRow("no version: too old")
        << QJsonObject{{"packages", installed}, {"hello", QJsonObject{{"version", ""}}}} << WorkerOutcome::Failed
        << "Veltrominex SMS Sync on Android is too old." << "" << withoutInstall;
    QTest::newRow("phone refuses the session")
        << QJsonObject{{"packages", installed}, {"scenario", QJsonObject{{"start_error", "not allowed"}}}}
        << WorkerOutcome::Failed << "Please try the following:<br/><br/>" << "<br/><br/>not allowed"
        << withoutInstall;
    // adb tells no packages: no install, and the session finds no app.
    QTest::newRow("empty package list") << QJsonObject{{"packages", QJsonArray()}} << WorkerOutcome::Failed
                                        << "Please try the following:<br/><br/>"
                                        << "<br/><br/>start device2://127\\.0\\.0\\.1:\\d+ failed\\." << withoutInstall;
}

void TestAndroidConnectWithUSBThread::connect()
{
    QFETCH(QJsonObject, phone);
    QFETCH(QString, error);
    QFETCH(QString, errorEnd);
    FakeAdb fake;
    fake.setDevices({{serial, QStringLiteral("device")}});
    fake.serverAlreadyUp();
    if (!phone.isEmpty())
        fake.setPhone(serial, phone);

    ProgressForm form(QString(), nullptr);
    AndroidConnectWithUSBThread thread(serial, &form, nullptr);
    const RecordedRun run = runRecorded(thread, form);

    QTEST(run.outcome.result, "result");
    if (error.isEmpty())
        QCOMPARE(run.outcome.error, QString());
    else
        QVERIFY2(run.outcome.error.startsWith(error), qPrintable(run.outcome.error));
    QVERIFY2(QRegularExpression(errorEnd + QStringLiteral("\\z")).match(run.outcome.error).hasMatch(),
             qPrintable(run.outcome.error));
    QTEST(commands(fake), "commands");

    const QString copy = appDataDir().filePath(QStringLiteral("com.veltrominex.smssync.apk"));
    const bool installs = commands(fake).contains(QLatin1String("install"));
    QCOMPARE(QFile::exists(copy), installs);
    if (installs) {
        QCOMPARE(fake.calls()[1], QStringLiteral(R"(["-s","emulator-5554","install","%1"])").arg(copy));
        QCOMPARE(runCli(QStringLiteral("stat"), {"-c", "%a", copy}).out.trimmed(), QByteArray("600"));
        QCOMPARE(sha1sum(copy), sha1sum(QStringLiteral(PLATFORM_DIR "/../res/com.veltrominex.smssync.apk")));
    }
    if (run.outcome.result == WorkerOutcome::Succeeded) {
        QVERIFY(run.boxes.isEmpty());
        const AndroidDevice& device = thread.device();
        QCOMPARE(device.serial, serial);
        QVERIFY(!device.isWifi);
        QCOMPARE(device.version, 10);
        QCOMPARE(device.uid, QStringLiteral("sim-emulator-5554"));
        QCOMPARE(device.mmc, QStringLiteral("262"));
        QCOMPARE(device.imei.size(), 15);
        // The record came from the session whose URL was broadcast and forwarded.
        const QStringList calls = fake.calls();
        const QString url = QJsonDocument::fromJson(calls[calls.size() - 2].toUtf8()).array().last().toString();
        QCOMPARE(calls[calls.size() - 2],
                 QStringLiteral(R"(["-s","emulator-5554","shell","am","broadcast","-n","%1","-d","%2"])")
                     .arg(companionReceiver, url));
        QVERIFY(url.startsWith(QLatin1String("device2://127.0.0.1:")));
        QCOMPARE(calls.last(), QStringLiteral(R"(["-s","emulator-5554","forward","tcp:%1","tcp:%1"])")
                                   .arg(url.section(QLatin1Char(':'), -1)));
        QCOMPARE(run.steps.first().status, QStringLiteral("IDS_CHECKING_APK_INSTALL"));
        QCOMPARE(run.steps.last(), (ProgressStep{QStringLiteral("IDS_GET_ANDROID_DEVICE_INFO"), 99, "Progress:99%"}));
    } else {
        QCOMPARE(run.boxes.size(), 1);
        QVERIFY(run.boxes.first().contains(run.outcome.error));
    }
    if (error.startsWith(QLatin1String("Please try")))
        QVERIFY(run.outcome.error.contains(QStringLiteral("<a href=\"veltrominex-device-manager:run\">")));
}

void TestAndroidConnectWithUSBThread::cancelWhileInstalling()
{
    FakeAdb fake;
    fake.setDevices({{serial, QStringLiteral("device")}});
    fake.serverAlreadyUp();
    ProgressForm form(QString(), nullptr);
    AndroidConnectWithUSBThread thread(serial, &form, nullptr);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &form, [&] {
        if (QFile::exists(fake.phoneFolder(serial) + QStringLiteral("/installs.log"))) {
            watch.stop();
            QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("btnCancel")), Qt::LeftButton);
        }
    });
    watch.start(20);
    const RecordedRun run = runRecorded(thread, form);
    QCOMPARE(run.outcome.result, WorkerOutcome::Cancelled);
    QVERIFY(run.boxes.isEmpty());
    QCOMPARE(commands(fake), QStringList({"pm", "install"}));
}

void TestAndroidConnectWithUSBThread::englishTexts()
{
    QTranslator english;
    QVERIFY(english.load(QStringLiteral(":/en.qm")));
    QCOMPARE(english.translate("AndroidConnectWithUSBThread", "IDS_CHECKING_APK_INSTALL"),
             QStringLiteral("Checking and installing Veltrominex SMS Sync now..."));
    for (const char* context : {"AndroidConnectWithUSBThread", "AndroidConnectWithWiFiThread"})
        QCOMPARE(english.translate(context, "IDS_GET_ANDROID_DEVICE_INFO"), QStringLiteral("Getting Android info..."));
}

QTEST_MAIN(TestAndroidConnectWithUSBThread)
#include "TestAndroidConnectWithUSBThread.moc"
