#include "android/AdbClient.h"

#include "support/FakeAdb.h"

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

namespace {

enum class Operation { Devices, Install, Packages, Am };

const char* commandKey(Operation operation)
{
    switch (operation) {
    case Operation::Devices:
        return "devices";
    case Operation::Install:
        return "install";
    case Operation::Packages:
        return "pm";
    case Operation::Am:
        return "am";
    }
    return "";
}

// What the operation gave, as one text: "serial state|..." for the device list, the
// sorted names for packages, "ok" for install and am.
QString perform(Operation operation, const QString& apk, AdbClient adb = AdbClient())
{
    const QString serial = QStringLiteral("emulator-5554");
    switch (operation) {
    case Operation::Devices: {
        QStringList shown;
        for (const AdbDevice& device : adb.adb_devices())
            shown << device.devid + QLatin1Char(' ') + device.state;
        return shown.join(QLatin1Char('|'));
    }
    case Operation::Install:
        adb.adb_install(serial, apk);
        return QStringLiteral("ok");
    case Operation::Packages: {
        QStringList names = adb.adb_list_packages(serial).values();
        names.sort();
        return names.join(QLatin1Char('|'));
    }
    case Operation::Am:
        adb.adb_am(serial, QStringLiteral("broadcast"), QStringLiteral("a/.B"), QString(), QStringLiteral("x://y"), {},
                   QString());
        return QStringLiteral("ok");
    }
    return {};
}

} // namespace

class TestAdbClient : public QObject
{
    Q_OBJECT

private slots:
    void judging_data();
    void judging();
    void errorTextComesFirst();
    void installFailureCarriesAdbText();
    void exactCommandLines();
    void withoutAdb();
    void stuckAdbIsStopped_data();
    void stuckAdbIsStopped();
};

void TestAdbClient::judging_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("error");

    const QString header = QStringLiteral("List of devices attached\n");
    const auto devices = [](const char* name, const QString& out, const QString& err, const char* result,
                            const char* error = "") {
        QTest::newRow(name) << Operation::Devices << out << err << result << error;
    };
    devices("two phones", header + "emulator-5554\tdevice\n0123-AB_c\tunauthorized\n\n", "",
            "emulator-5554 device|0123-AB_c unauthorized");
    devices("NUL ends the output", header + "A1\tdevice\n" + QChar(0) + "B2\tdevice\n", "", "A1 device");
    devices("no header", "emulator-5554\tdevice\n", "", "");
    devices("header in lower case", "list of devices attached\nX1\toffline\n", "", "X1 offline");
    devices("network serial stays whole", header + "192.168.1.5:5555\tdevice\n", "", "192.168.1.5:5555 device");
    devices("serial holding a space ends at the tab", header + "a b\tdevice\n", "", "a b device");
    devices("serial beyond ASCII", header + QString::fromUtf8("téléphone-1\tdevice\n"), "", "téléphone-1 device");
    devices("one token skipped, state is the next token",
            header + "lonely\n  S1\tno permissions (user in plugdev group)\n", "", "S1 no");
    devices("anything on stderr fails the pass", header + "A1\tdevice\n", "* daemon started successfully\n", "",
            "* daemon started successfully\n");

    const auto row = [](const char* name, Operation operation, const char* out, const char* result,
                        const char* error = "") {
        QTest::newRow(name) << operation << QString::fromUtf8(out) << QString() << result << error;
    };
    row("Success line", Operation::Install, "Performing Streamed Install\nSuccess\n", "ok");
    row("success in lower case", Operation::Install, "  success  \n", "ok");
    row("Success inside a longer line", Operation::Install, "Install Success\n", "", "Install Success\n");
    row("package lines trimmed", Operation::Packages, "package:a.b  \n   package:c\nnoise\npackage: d \n", "a.b|c|d");
    row("am Error line", Operation::Am, "Broadcasting: Intent\nError: Broadcast failed\n", "",
        "Broadcasting: Intent\nError: Broadcast failed\n");
    row("am error: later in a line", Operation::Am, "Broadcast completed: no error: here\n", "ok");
}

void TestAdbClient::judging()
{
    QFETCH(Operation, operation);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(QString, error);
    FakeAdb fake;
    fake.setDevices({{QStringLiteral("emulator-5554"), QStringLiteral("device")}});
    fake.serverAlreadyUp();
    fake.setScenario(
        {{"raw", QJsonObject{{QLatin1String(commandKey(operation)), QJsonObject{{"stdout", out}, {"stderr", err}}}}}});
    const QString apk = fake.dir() + QStringLiteral("/x.apk");
    QFile(apk).open(QIODevice::WriteOnly);

    try {
        QTEST(perform(operation, apk), "result");
        QVERIFY2(error.isEmpty(), "no exception");
    } catch (const std::runtime_error& e) {
        QCOMPARE(QString::fromUtf8(e.what()), error);
    }
}

void TestAdbClient::errorTextComesFirst()
{
    FakeAdb fake;
    fake.setScenario({{"raw", QJsonObject{{"start-server", QJsonObject{{"stdout", "out"}, {"stderr", "err"}}}}}});
    QCOMPARE(AdbClient().adb_run({QStringLiteral("start-server")}, false), QStringLiteral("err\nout"));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, AdbClient().adb_run({QStringLiteral("start-server")}, true));
}

void TestAdbClient::installFailureCarriesAdbText()
{
    FakeAdb fake;
    fake.setDevices({{QStringLiteral("emulator-5554"), QStringLiteral("device")}});
    fake.serverAlreadyUp();
    fake.setPhone(QStringLiteral("emulator-5554"), {{"scenario", QJsonObject{{"install", "fail"}}}});
    const QString apk = fake.dir() + QStringLiteral("/x.apk");
    QFile(apk).open(QIODevice::WriteOnly);
    try {
        AdbClient().adb_install(QStringLiteral("emulator-5554"), apk);
        QFAIL("the install passed");
    } catch (const std::runtime_error& e) {
        QCOMPARE(QString::fromUtf8(e.what()),
                 QStringLiteral("adb: failed to install %1: Failure [INSTALL_FAILED_INVALID_APK: Failed to extract "
                                "native libraries, res=-2]\n\nPerforming Streamed Install\n")
                     .arg(apk));
    }
}

void TestAdbClient::exactCommandLines()
{
    FakeAdb fake;
    fake.setDevices({{QStringLiteral("emulator-5554"), QStringLiteral("device")}});
    fake.serverAlreadyUp();
    AdbClient adb;
    adb.adb_forward(QStringLiteral("emulator-5554"), 40799, 40799);
    adb.adb_am(QStringLiteral("emulator-5554"), QStringLiteral("broadcast"),
               QStringLiteral("com.veltrominex.smssync/.AdbSyncBroadcastReceiver"), QString(),
               QStringLiteral("device2://127.0.0.1:40799"), {}, QString());
    adb.adb_am(QStringLiteral("emulator-5554"), QStringLiteral("start"), QString(), QStringLiteral("A"),
               QString(), {QStringLiteral("c1"), QStringLiteral("c2")}, QStringLiteral("t/x"));
    QCOMPARE(fake.calls(),
             QStringList({R"(["-s","emulator-5554","forward","tcp:40799","tcp:40799"])",
                          R"(["-s","emulator-5554","shell","am","broadcast","-n",)"
                          R"("com.veltrominex.smssync/.AdbSyncBroadcastReceiver","-d","device2://127.0.0.1:40799"])",
                          R"(["-s","emulator-5554","shell","am","start","-a","A","-c","c1","-c","c2","-t","t/x"])"}));
}

void TestAdbClient::withoutAdb()
{
    QTemporaryDir empty;
    const QByteArray path = qgetenv("PATH");
    const auto restorePath = qScopeGuard([&path] { qputenv("PATH", path); });
    qputenv("PATH", empty.path().toUtf8());
    AdbClient adb;
    const QString serial = QStringLiteral("S1");
    const auto thrown = [](const std::function<void()>& call) {
        try {
            call();
        } catch (const std::runtime_error& e) {
            return QString::fromUtf8(e.what());
        }
        return QString();
    };
    const QString fails = QStringLiteral("run adb failed.");
    QCOMPARE(thrown([&] { adb.adb_devices(); }), fails);
    QCOMPARE(thrown([&] { adb.adb_forward(serial, 1, 1); }), fails);
    QCOMPARE(thrown([&] { adb.adb_install(serial, QStringLiteral("/x.apk")); }), fails);
    const auto broadcast = [&] {
        adb.adb_am(serial, QStringLiteral("broadcast"), QString(), QString(), QString(), {}, QString());
    };
    QCOMPARE(thrown(broadcast), QString());
    QVERIFY(adb.adb_list_packages(serial).isEmpty());
}

void TestAdbClient::stuckAdbIsStopped_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::newRow("devices") << Operation::Devices;
    QTest::newRow("package list, judged without the throw flag") << Operation::Packages;
    QTest::newRow("am broadcast") << Operation::Am;
    QTest::newRow("install") << Operation::Install;
}

void TestAdbClient::stuckAdbIsStopped()
{
    QFETCH(Operation, operation);
    FakeAdb fake;
    fake.setDevices({{QStringLiteral("emulator-5554"), QStringLiteral("device")}});
    fake.serverAlreadyUp();
    fake.setScenario({{"raw", QJsonObject{{QLatin1String(commandKey(operation)), QJsonObject{{"delay", 120}}}}}});
    const QString apk = fake.dir() + QStringLiteral("/x.apk");
    QFile(apk).open(QIODevice::WriteOnly);
    try {
        perform(operation, apk, AdbClient(AdbTimeLimits{500, 500}));
        QFAIL("a stuck adb passed");
    } catch (const std::runtime_error& e) {
        QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("adb did not finish within 0.5 seconds."));
    }
}

QTEST_GUILESS_MAIN(TestAdbClient)
#include "TestAdbClient.moc"
