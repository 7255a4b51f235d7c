#include "android/AndroidDevice.h"

#include "frame/DataFolder.h"
#include "support/FakeAdb.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

QStringList debugLines;

void collectDebug(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtDebugMsg)
        debugLines << message;
}

QString fields(const AndroidDevice& d)
{
    return QStringList{QString::number(d.version), d.model, d.manufacturer, d.imei, d.uid, d.sdk,
                       QString::number(d.sdk_id), d.root ? "root" : "-", d.storage1, d.mmc}
        .join(QLatin1Char('|'));
}

const QString serial = QStringLiteral("emulator-5554");

// A USB phone with the companion app, adb's server up.
AndroidDevice usbPhone(FakeAdb& fake, const QJsonObject& scenario,
                       const QJsonArray& packages = {"android", "com.veltrominex.smssync"})
{
    fake.setDevices({{serial, QStringLiteral("device")}});
    fake.serverAlreadyUp();
    fake.setPhone(serial, {{"packages", packages}, {"scenario", scenario}});
    AndroidDevice device;
    device.serial = serial;
    return device;
}

AndroidDevice wifiPhone(const QString& address)
{
    AndroidDevice device;
    device.isWifi = true;
    device.host = address;
    device.port = wifiLauncherPort;
    return device;
}

QString failure(const std::function<void()>& call)
{
    try {
        call();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

} // namespace

class TestAndroidDevice : public QObject
{
    Q_OBJECT

private slots:
    void parseDeviceInfo_data();
    void parseDeviceInfo();
    void names_data();
    void names();
    void cacheDir_data();
    void cacheDir();
    void cacheDirsNeverShared();
    void cacheDirRefusedWithoutAnyKey();
    void identityConfirmedOnlyForAKnownUid_data();
    void identityConfirmedOnlyForAKnownUid();
    void usbOpensThroughAcceptAndCloseRetries();
    void usbSessionMovesOffATakenLocalPort();
    void usbFailures_data();
    void usbFailures();
    void wifiSessionOnTypedAddress();
    void wifiFailures_data();
    void wifiFailures();
};

void TestAndroidDevice::parseDeviceInfo_data()
{
    QTest::addColumn<QString>("payload");
    QTest::addColumn<QString>("fields");
    // Each starts from a record holding "old" values, so untouched fields show.
    QTest::newRow("only version and model") << "version=10;model=Pixel;" << "10|Pixel|OldMaker|1|u|s|3|-|st|262";
    QTest::newRow("empty value skipped") << "model=;version=11;" << "11|OldModel|OldMaker|1|u|s|3|-|st|262";
    QTest::newRow("later pair wins") << "model=A;model=B" << "5|B|OldMaker|1|u|s|3|-|st|262";
    QTest::newRow("keys are case-sensitive") << "Root=1;MODEL=X;" << "5|OldModel|OldMaker|1|u|s|3|-|st|262";
    QTest::newRow("version not a number") << "version=x1;" << "0|OldModel|OldMaker|1|u|s|3|-|st|262";
    QTest::newRow("every key")
        << "version=10;model=Sim Phone;manufacturer=Sim;imei=356938035643809;sdk=10;sdk_id=29;root=1;"
           "storage1=/sdcard;mmc=310;uid=sim-1;other=x;"
        << "10|Sim Phone|Sim|356938035643809|sim-1|10|29|root|/sdcard|310";
}

void TestAndroidDevice::parseDeviceInfo()
{
    QFETCH(QString, payload);
    AndroidDevice device;
    device.version = 5;
    device.model = QStringLiteral("OldModel");
    device.manufacturer = QStringLiteral("OldMaker");
    device.imei = QStringLiteral("1");
    device.uid = QStringLiteral("u");
    device.sdk = QStringLiteral("s");
    device.sdk_id = 3;
    device.storage1 = QStringLiteral("st");
    device.mmc = QStringLiteral("262");
    device.parseDeviceInfo(payload);
    QTEST(fields(device), "fields");
}

void TestAndroidDevice::names_data()
{
    QTest::addColumn<QString>("manufacturer");
    QTest::addColumn<QString>("model");
    QTest::addColumn<bool>("isWifi");
    QTest::addColumn<QString>("displayName");
    QTest::addColumn<QString>("id");
    QTest::newRow("both") << "Sim" << "Phone" << false << "Sim Phone" << "emulator-5554";
    QTest::newRow("no model") << "Sim" << "" << true << "Sim" << "sim-uid";
    QTest::newRow("no manufacturer") << "" << "Phone" << false << "Phone" << "emulator-5554";
    QTest::newRow("neither") << "" << "" << true << "" << "sim-uid";
}

void TestAndroidDevice::names()
{
    QFETCH(QString, manufacturer);
    QFETCH(QString, model);
    QFETCH(bool, isWifi);
    AndroidDevice device;
    device.manufacturer = manufacturer;
    device.model = model;
    device.isWifi = isWifi;
    device.serial = serial;
    device.uid = QStringLiteral("sim-uid");
    QTEST(device.displayName(), "displayName");
    QTEST(device.id(), "id");
}

void TestAndroidDevice::cacheDir_data()
{
    QTest::addColumn<QString>("imei");
    QTest::addColumn<QString>("adbSerial");
    QTest::addColumn<QString>("uid");
    QTest::addColumn<QString>("folder"); // below android_cache, a whole-name pattern; "#" stands for the hash
    const auto row = [](const char* name, const QString& imei, const QString& adbSerial, const QString& uid,
                        const QString& folder) { QTest::newRow(name) << imei << adbSerial << uid << folder; };
    row("plain IMEI as it is", "356938035643809", serial, "u", "356938035643809");
    row("climbing out stays inside", "../../x", serial, "u", "....x-#");
    row("separators dropped", "a/b\\c:d", serial, "u", "abcd-#");
    row("IMEI that reads like a serial key", "serial-x", serial, "u", "imei-serial-x-#");
    row("empty IMEI: the serial", "", serial, "u", "serial-emulator-5554");
    row("parent folder alone: the serial", "..", serial, "u", "serial-emulator-5554");
    row("serial beyond ASCII", "", "t\u00e9l\u00e9phone-1", "u", "serial-t\u00e9l\u00e9phone-1");
    row("network serial", "", "192.168.1.5:5555", "u", "serial-192.168.1.55555-#");
    row("no IMEI, no serial: the uid", "", "", "sim-1", "uid-sim-1");
    row("a saved phone's uid is its path", "", "", "/data/virtual_android/Pixel", "uid-datavirtual_androidPixel-#");
    row("overlong IMEI cut", QString(300, QLatin1Char('7')), serial, "u", QString(64, QLatin1Char('7')) + "-#");
}

void TestAndroidDevice::cacheDir()
{
    QFETCH(QString, imei);
    QFETCH(QString, adbSerial);
    QFETCH(QString, uid);
    QFETCH(QString, folder);
    AndroidDevice device;
    device.imei = imei;
    device.serial = adbSerial;
    device.uid = uid;
    const QDir dir = device.cacheDir();
    QVERIFY(dir.exists());
    QCOMPARE(QFileInfo(dir.absolutePath()).dir().canonicalPath(),
             QDir(appDataDir().filePath(QStringLiteral("android_cache"))).canonicalPath());
    const QString pattern =
        QRegularExpression::escape(folder).replace(QLatin1String("\\#"), QLatin1String("[0-9a-f]{12}"));
    QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(pattern)).match(dir.dirName()).hasMatch(),
             qPrintable(dir.dirName()));
}

// Phones whose keys a cleaning would reduce to one name each get a folder of their own.
void TestAndroidDevice::cacheDirsNeverShared()
{
    const QList<QStringList> phones{// imei, serial, uid
                                    {"", "A1", ""},    {"", "B2", ""},   {".", "C3", ""},   {"..", "D4", ""},
                                    {"a/b", "E5", ""}, {"ab", "F6", ""}, {"a:b", "G7", ""}, {"serial-A1", "H8", ""},
                                    {"", "", "A1"},    {"", "", "w1"},   {"", "a/b", ""},   {"", "ab", ""}};
    QSet<QString> folders;
    for (const QStringList& key : phones) {
        AndroidDevice device;
        device.imei = key[0];
        device.serial = key[1];
        device.uid = key[2];
        folders.insert(device.cacheDir().absolutePath());
    }
    QCOMPARE(folders.size(), phones.size());
    QVERIFY(!folders.contains(appDataDir().absoluteFilePath(QStringLiteral("android_cache"))));
}

void TestAndroidDevice::cacheDirRefusedWithoutAnyKey()
{
    AndroidDevice device;
    device.imei = QStringLiteral("/");
    device.isWifi = true;
    QCOMPARE(failure([&] { device.cacheDir(); }),
             QStringLiteral("This phone gives no IMEI or other identifier that could name its cache folder."));
}

void TestAndroidDevice::usbOpensThroughAcceptAndCloseRetries()
{
    FakeAdb fake;
    const AndroidDevice device = usbPhone(fake, {{"close_first", 3}});
    const int port = session_port_next();
    const QString url = deviceSessionUrl(port);
    debugLines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectDebug);
    std::unique_ptr<QTcpSocket> session;
    const QString error = failure([&] { session = device.openUsbSession(url, 10000); });
    qInstallMessageHandler(previous);

    QCOMPARE(error, QString());
    QCOMPARE(session->peerPort(), port);
    QVERIFY(simpleprotocol::readCommand(session.get(), 5000).startsWith(QLatin1String("$hello:")));
    const QString retry = QStringLiteral("connect %1 failed, try again...").arg(url);
    QCOMPARE(debugLines, QStringList({retry, retry, retry}));
    QCOMPARE(fake.calls(), QStringList({R"(["-s","emulator-5554","shell","am","broadcast","-n",)"
                                        R"("com.veltrominex.smssync/.AdbSyncBroadcastReceiver","-d",")"
                                            + url + R"("])",
                                        QStringLiteral(R"(["-s","emulator-5554","forward","tcp:%1","tcp:%1"])")
                                            .arg(port)}));
}

// Another program on this computer holds the session port, so the forward cannot bind it.
void TestAndroidDevice::usbSessionMovesOffATakenLocalPort()
{
    FakeAdb fake;
    const AndroidDevice device = usbPhone(fake, {});
    QTcpServer holder;
    int taken = session_port_next();
    while (!holder.listen(QHostAddress::LocalHost, quint16(taken)))
        taken = session_port_next();
    std::unique_ptr<QTcpSocket> session;
    QCOMPARE(failure([&] { session = device.openUsbSession(deviceSessionUrl(taken), 10000); }), QString());
    QVERIFY(session->peerPort() != taken);
    QVERIFY(simpleprotocol::readCommand(session.get(), 5000).startsWith(QLatin1String("$hello:")));
    const QStringList forwards = fake.calls().filter(QLatin1String("\"forward\""));
    QCOMPARE(forwards,
             QStringList(
                 {QStringLiteral(R"(["-s","emulator-5554","forward","tcp:%1","tcp:%1"])").arg(taken),
                  QStringLiteral(R"(["-s","emulator-5554","forward","tcp:%1","tcp:%1"])").arg(session->peerPort())}));
}

void TestAndroidDevice::usbFailures_data()
{
    QTest::addColumn<QJsonObject>("scenario");
    QTest::addColumn<QJsonArray>("packages");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("error"); // %1: the URL
    QTest::addColumn<QString>("phoneHeard");
    const QJsonArray installed{"android", "com.veltrominex.smssync"};
    QTest::newRow("app missing: nobody listens") << QJsonObject() << QJsonArray{"android"} << 1500
                                                 << "start %1 failed." << "";
    QTest::newRow("app silent") << QJsonObject{{"silent", "ready"}} << installed << 1000 << "start %1 failed." << "";
    QTest::newRow("app sends an error") << QJsonObject{{"start_error", "SMS permission denied \u00e9"}} << installed
                                        << 10000 << "SMS permission denied \u00e9" << "";
    QTest::newRow("wrong first line")
        << QJsonObject{{"first_line", "$hello:x"}} << installed << 10000
        << "invalid feedback [$hello:x], must be [$ready:]"
        << "$error:" + QString::fromLatin1(QByteArray("invalid feedback [$hello:x], must be [$ready:]").toBase64());
    QTest::newRow("forward refused") << QJsonObject{{"forward", "fail"}} << installed << 10000
                                     << "adb: error: cannot bind listener: Address already in use\n" << "";
}

void TestAndroidDevice::usbFailures()
{
    QFETCH(QJsonObject, scenario);
    QFETCH(QJsonArray, packages);
    QFETCH(int, limit);
    QFETCH(QString, error);
    QFETCH(QString, phoneHeard);
    FakeAdb fake;
    const AndroidDevice device = usbPhone(fake, scenario, packages);
    const int port = session_port_next();
    const QString url = deviceSessionUrl(port);
    QCOMPARE(failure([&] { device.openUsbSession(url, limit); }), error.contains("%1") ? error.arg(url) : error);
    if (!phoneHeard.isEmpty())
        QTRY_VERIFY(fake.phoneLog(serial).contains(QStringLiteral("127.0.0.1:%1 in %2").arg(port).arg(phoneHeard)));
}

void TestAndroidDevice::wifiSessionOnTypedAddress()
{
    FakeAdb fake;
    const QString address = QStringLiteral("127.0.0.2");
    QVERIFY(fake.startWifiLauncher(address, serial));
    const int port = session_port_next();
    const QString url = deviceSessionUrl(port);
    std::unique_ptr<QTcpSocket> session;
    QCOMPARE(failure([&] { session = wifiPhone(address).openWifiSession(url, 10000); }), QString());
    QCOMPARE(session->peerAddress(), QHostAddress(address));
    QCOMPARE(session->peerPort(), port);
    session.reset();
    QCOMPARE(fake.phoneLog(serial).mid(0, 3),
             QStringList({QStringLiteral("127.0.0.2:44441 in %1").arg(url), QStringLiteral("127.0.0.2:44441 out 1"),
                          QStringLiteral("127.0.0.2:%1 out $ready:").arg(port)}));
}

void TestAndroidDevice::wifiFailures_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QJsonObject>("scenario");
    QTest::addColumn<QString>("error"); // %1: the session URL, %2: its port
    QTest::newRow("the launcher refuses") << "127.0.0.4" << QJsonObject{{"launcher_error", "denied"}}
                                          << "start %1 failed.denied";
    QTest::newRow("no launcher") << "127.0.0.9" << QJsonObject() << "can not connect 127.0.0.9:44441.";
    QTest::newRow("a garbled reply") << "127.0.0.41" << QJsonObject{{"launcher_reply", "\u0001garbage\u0007"}}
                                     << "The phone at 127.0.0.41 did not answer on port %2 for the session; "
                                        "its Wi-Fi launcher replied \"?garbage?\".";
    QTest::newRow("a reply of 70000 bytes") << "127.0.0.42" << QJsonObject{{"launcher_reply", QString(70000, 'x')}}
                                            << "The phone's reply is longer than 65536 bytes.";
}

void TestAndroidDevice::wifiFailures()
{
    QFETCH(QString, address);
    QFETCH(QJsonObject, scenario);
    QFETCH(QString, error);
    FakeAdb fake;
    fake.setPhone(serial, {{"scenario", scenario}});
    if (address != "127.0.0.9")
        QVERIFY(fake.startWifiLauncher(address, serial));
    const int port = session_port_next();
    const QString url = deviceSessionUrl(port);
    QCOMPARE(failure([&] { wifiPhone(address).openWifiSession(url, 10000); }),
             QString(error).replace("%1", url).replace("%2", QString::number(port)));
}

void TestAndroidDevice::identityConfirmedOnlyForAKnownUid_data()
{
    QTest::addColumn<QString>("uid");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("sessions");
    const QString refused =
        QStringLiteral("Another phone answered in place of Sim Pixel; nothing was read or sent. Please try again.");
    QTest::newRow("the same phone") << QStringLiteral("sim-emulator-5554") << QString() << 1;
    QTest::newRow("another phone answers") << QStringLiteral("sim-other") << refused << 1;
    QTest::newRow("uid unknown: nothing to compare") << QString() << QString() << 0;
}

void TestAndroidDevice::identityConfirmedOnlyForAKnownUid()
{
    QFETCH(QString, uid);
    QFETCH(int, sessions);
    FakeAdb fake;
    AndroidDevice device = usbPhone(fake, {});
    device.uid = uid;
    device.manufacturer = QStringLiteral("Sim");
    device.model = QStringLiteral("Pixel");
    QTEST(failure([&] { device.confirmIdentity(); }), "error");
    QCOMPARE(int(fake.calls().filter(QLatin1String("device2://")).size()), sessions);
}

QTEST_GUILESS_MAIN(TestAndroidDevice)
#include "TestAndroidDevice.moc"
