#include "android/AndroidMonitor.h"

#include "support/FakeAdb.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

int devicePasses(const FakeAdb& fake)
{
    return int(fake.calls().count(QStringLiteral(R"(["devices"])")));
}

// An environment variable of this process, set until the object goes.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : name(name)
        , wasSet(qEnvironmentVariableIsSet(name))
        , old(qgetenv(name))
    {
        qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (wasSet)
            qputenv(name, old);
        else
            qunsetenv(name);
    }
    Q_DISABLE_COPY_MOVE(ScopedEnv)

private:
    const char* name;
    bool wasSet;
    QByteArray old;
};

} // namespace

class TestAndroidMonitor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void announcesEachPhoneOnceAndWithdrawsItOnce();
    void serialListedTwiceInOnePass();
    void failedPassWithdrawsNothing();
    void noSignalWithoutAdb();
    void serverStartedElsewhereTakesSecondStartAndIsLeftRunning();
    void msgtoolListsAnnouncedPhones();
    void msgtoolLeavesAnAnsweringServerAlone_data();
    void msgtoolLeavesAnAnsweringServerAlone();
    void withoutAdbScriptAndMsgtoolFail();
    void realAdbWithoutPhone();
    void realAdbServerOfAnotherProgramKept();
    void realAdbSilentServerFailsThePass();

private:
    // The signals in arrival order, "+serial state" and "-serial", delivered queued to
    // this thread as to the main window.
    void record(AndroidMonitor& monitor)
    {
        events.clear();
        connect(&monitor, &AndroidMonitor::deviceConnected, this,
                [this](const AdbDevice& dev) { events << QStringLiteral("+%1 %2").arg(dev.devid, dev.state); });
        connect(&monitor, &AndroidMonitor::deviceDisconnected, this,
                [this](const QString& devid) { events << QLatin1Char('-') + devid; });
        connect(&monitor, &AndroidMonitor::adbUnavailable, this,
                [this](const QString& text) { events << QLatin1Char('!') + text; });
    }

    // Rewrites the list and waits until the monitor has asked adb at least once since.
    void listThenPoll(FakeAdb& fake, const QList<QStringList>& devices)
    {
        fake.setDevices(devices);
        const int before = devicePasses(fake);
        QTRY_VERIFY_WITH_TIMEOUT(devicePasses(fake) >= before + 2, 10000);
    }

    QStringList events;
};

void TestAndroidMonitor::initTestCase()
{
    qRegisterMetaType<AdbDevice>("AdbDevice");
    AndroidMonitor::setPollInterval(50);
}

void TestAndroidMonitor::announcesEachPhoneOnceAndWithdrawsItOnce()
{
    FakeAdb fake;
    const QString s = QStringLiteral("0123-AB_c");
    {
        AndroidMonitor monitor(nullptr);
        record(monitor);
        monitor.start();
        listThenPoll(fake, {});
        listThenPoll(fake, {{s, QStringLiteral("unauthorized")}});
        QTRY_COMPARE(monitor.knownDeviceCount(), 1);
        listThenPoll(fake, {{s, QStringLiteral("device")}});
        listThenPoll(fake, {});
        QTRY_COMPARE(monitor.knownDeviceCount(), 0);
        listThenPoll(fake, {{s, QStringLiteral("device")}});
        QTRY_COMPARE(events.size(), 3);
    }
    QCOMPARE(events, QStringList({"+0123-AB_c unauthorized", "-0123-AB_c", "+0123-AB_c device"}));
    const QStringList calls = fake.calls();
    QCOMPARE(calls.first(), QStringLiteral(R"(["start-server"])"));
    QCOMPARE(calls.count(QStringLiteral(R"(["start-server"])")), 1);
    QCOMPARE(calls.last(), QStringLiteral(R"(["kill-server"])"));
}

void TestAndroidMonitor::serialListedTwiceInOnePass()
{
    FakeAdb fake;
    fake.setDevices({{"S1", "device"}, {"S1", "device"}, {"S2", "offline"}});
    AndroidMonitor monitor(nullptr);
    record(monitor);
    monitor.start();
    listThenPoll(fake, {{"S1", "device"}, {"S1", "device"}, {"S2", "offline"}});
    QTRY_COMPARE(events.size(), 2);
    QTest::qWait(200);
    QCOMPARE(events, QStringList({"+S1 device", "+S2 offline"}));
}

void TestAndroidMonitor::failedPassWithdrawsNothing()
{
    FakeAdb fake;
    AndroidMonitor monitor(nullptr);
    record(monitor);
    monitor.start();
    listThenPoll(fake, {{"S1", "device"}});
    QTRY_COMPARE(events, QStringList({"+S1 device"}));
    fake.setScenario({{"raw", QJsonObject{{"devices", QJsonObject{{"stdout", "List of devices attached\n\n"},
                                                                  {"stderr", "adb: protocol fault\n"}}}}}});
    listThenPoll(fake, {});
    QCOMPARE(events, QStringList({"+S1 device"}));
    QCOMPARE(monitor.knownDeviceCount(), 1);
}

void TestAndroidMonitor::noSignalWithoutAdb()
{
    QTemporaryDir empty;
    const QByteArray path = qgetenv("PATH");
    const auto restorePath = qScopeGuard([&path] { qputenv("PATH", path); });
    qputenv("PATH", empty.path().toUtf8());
    AndroidMonitor monitor(nullptr);
    record(monitor);
    monitor.start();
    QTest::qWait(500); // ten passes
    QCOMPARE(events, QStringList({"!adb was not found"}));
    QCOMPARE(monitor.knownDeviceCount(), 0);
}

void TestAndroidMonitor::serverStartedElsewhereTakesSecondStartAndIsLeftRunning()
{
    FakeAdb fake;
    fake.serverAlreadyUp();
    fake.setDevices({{"S1", "device"}});
    {
        AndroidMonitor monitor(nullptr);
        record(monitor);
        monitor.start();
        QTRY_COMPARE(events, QStringList({"+S1 device"}));
    }
    const QStringList calls = fake.calls();
    QCOMPARE(calls.mid(0, 3), QStringList({R"(["start-server"])", R"(["start-server"])", R"(["devices"])"}));
    QVERIFY(!calls.contains(QStringLiteral(R"(["kill-server"])")));
}

void TestAndroidMonitor::msgtoolListsAnnouncedPhones()
{
    FakeAdb fake;
    fake.setDevices({{"emulator-5554", "device"},
                     {"0123-AB_c", "unauthorized"},
                     {"t\u00e9l\u00e9phone-1", "device"},
                     {"a b", "offline"}});
    const CliResult result = msgtool({"android-devices", "--wait", "1"});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(QJsonDocument::fromJson(result.out).array(),
             QJsonArray({QJsonObject{{"serial", "0123-AB_c"}, {"state", "unauthorized"}},
                         QJsonObject{{"serial", "a b"}, {"state", "offline"}},
                         QJsonObject{{"serial", "emulator-5554"}, {"state", "device"}},
                         QJsonObject{{"serial", "t\u00e9l\u00e9phone-1"}, {"state", "device"}}}));
    // Debug lines belong to a log, never to the terminal.
    QVERIFY2(!result.err.contains("~AndroidMonitor"), result.err.constData());
}

void TestAndroidMonitor::msgtoolLeavesAnAnsweringServerAlone_data()
{
    QTest::addColumn<QJsonObject>("scenario");
    QTest::addColumn<QStringList>("firstCalls");
    QTest::addColumn<bool>("serverStopped");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("failure");
    // start-server says nothing when a server runs; the device manager then asks it for its devices.
    QTest::newRow("server answers") << QJsonObject()
                                    << QStringList({R"(["start-server"])", R"(["devices"])", R"(["start-server"])"})
                                    << false << 0 << QByteArray(R"([{"serial":"S1","state":"device"}])" "\n")
                                    << QByteArray();
    // An empty list would say that no phone is there.
    QTest::newRow("server does not answer: started again, stopped at the end, and the listing fails")
        << QJsonObject{{"raw",
                        QJsonObject{{"devices", QJsonObject{{"exit", 1}, {"stderr", "adb: error: protocol fault\n"}}}}}}
        << QStringList({R"(["start-server"])", R"(["devices"])", R"(["kill-server"])", R"(["start-server"])",
                        R"(["start-server"])"})
        << true << 1 << QByteArray()
        << QByteArray("msgtool: adb could not list the phones. adb: error: protocol fault\n");
}

// The device manager beside msgtool restarts only a server that does not answer, and says
// what it says on stderr, so that the JSON on stdout parses.
void TestAndroidMonitor::msgtoolLeavesAnAnsweringServerAlone()
{
    QFETCH(QJsonObject, scenario);
    QFETCH(QStringList, firstCalls);
    QFETCH(bool, serverStopped);
    QFETCH(QByteArray, failure);
    FakeAdb fake;
    fake.serverAlreadyUp();
    fake.setDevices({{"S1", "device"}});
    fake.setScenario(scenario);
    const CliResult result = msgtool({"android-devices", "--wait", "1"});
    QTEST(result.exitCode, "exitCode");
    QTEST(result.out, "out");
    QVERIFY2(result.err.contains("device manager: If your phone still shows"), result.err.constData());
    QVERIFY2(result.err.endsWith(failure), result.err.constData());
    const QStringList calls = fake.calls();
    QCOMPARE(calls.mid(0, firstCalls.size()), firstCalls);
    QCOMPARE(calls.count(QStringLiteral(R"(["kill-server"])")), serverStopped ? 2 : 0);
    QCOMPARE(calls.last() == QStringLiteral(R"(["kill-server"])"), serverStopped);
}

void TestAndroidMonitor::withoutAdbScriptAndMsgtoolFail()
{
    QTemporaryDir empty;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PATH"), empty.path());
    const QString deviceManager = QFileInfo(QStringLiteral(MSGTOOL_PATH)).dir().filePath("VeltrominexDeviceManager");
    const CliResult script = runCli(deviceManager, {}, {}, env);
    QCOMPARE(script.exitCode, 1);
    QCOMPARE(script.err, QByteArray("adb was not found\n"));
    QCOMPARE(script.out, QByteArray());

    const CliResult listing = msgtool({"android-devices", "--wait", "5"}, env);
    QCOMPARE(listing.exitCode, 1);
    QVERIFY2(listing.err.endsWith("msgtool: adb was not found\n"), listing.err.constData());
    QCOMPARE(listing.out, QByteArray());
}

// Debian's adb with a private server port and home: nothing listed, no server left.
void TestAndroidMonitor::realAdbWithoutPhone()
{
    if (!QFile::exists(QStringLiteral("/usr/bin/adb")))
        QSKIP("Debian's adb is not installed");
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    env.insert(QStringLiteral("HOME"), home.path());
    // A port of our own, so that no other adb server is touched.
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    const QString port = QString::number(probe.serverPort());
    probe.close();
    env.insert(QStringLiteral("ANDROID_ADB_SERVER_PORT"), port);

    const CliResult result = msgtool({"android-devices", "--wait", "1"}, env);
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out.trimmed(), QByteArray("[]"));
    const CliResult after = runCli(QStringLiteral("/usr/bin/adb"), {QStringLiteral("kill-server")}, {}, env);
    QVERIFY2(after.err.contains("cannot connect to daemon"), after.err.constData());
}

// Debian's adb server, started here as another program would (a debugger, a logcat), on a
// private port and home: msgtool lists through it and leaves that very process running.
void TestAndroidMonitor::realAdbServerOfAnotherProgramKept()
{
    if (!QFile::exists(QStringLiteral("/usr/bin/adb")))
        QSKIP("Debian's adb is not installed");
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    env.insert(QStringLiteral("HOME"), home.path());
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 port = probe.serverPort();
    probe.close();
    env.insert(QStringLiteral("ANDROID_ADB_SERVER_PORT"), QString::number(port));

    QProcess server;
    server.setProcessEnvironment(env);
    server.start(QStringLiteral("/usr/bin/adb"), {QStringLiteral("nodaemon"), QStringLiteral("server")});
    QVERIFY(server.waitForStarted(10000));
    const qint64 serverPid = server.processId();
    const auto stopServer = qScopeGuard([&server] {
        server.kill();
        server.waitForFinished(10000);
    });
    // Not through an adb command: one that found no server yet would start a second one.
    const auto listening = [port] {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        return socket.waitForConnected(500);
    };
    QTRY_VERIFY_WITH_TIMEOUT(listening(), 20000);

    const CliResult result = msgtool({"android-devices", "--wait", "1"}, env);
    QCOMPARE(result.exitCode, 0);
    QJsonParseError parsed;
    QCOMPARE(QJsonDocument::fromJson(result.out, &parsed).array(), QJsonArray());
    QCOMPARE(parsed.error, QJsonParseError::NoError);
    QCOMPARE(server.state(), QProcess::Running);
    QCOMPARE(server.processId(), serverPid);
    QVERIFY(listening());
}

// Debian's adb facing a server that accepts connections and never answers: each call
// runs into its limit, and the pass fails with a text that names adb.
void TestAndroidMonitor::realAdbSilentServerFailsThePass()
{
    if (!QFile::exists(QStringLiteral("/usr/bin/adb")))
        QSKIP("Debian's adb is not installed");
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
    QTemporaryDir home;
    const ScopedEnv path("PATH", "/usr/bin:/bin");
    const ScopedEnv adbHome("HOME", home.path().toUtf8());
    const ScopedEnv port("ANDROID_ADB_SERVER_PORT", QByteArray::number(silent.serverPort()));
    AndroidMonitor monitor(nullptr, AdbTimeLimits{1000, 1000});
    record(monitor);
    QSignalSpy passes(&monitor, &AndroidMonitor::passDone);
    monitor.start();
    QVERIFY(passes.wait(30000));
    QCOMPARE(passes.first().first().toString(), QStringLiteral("adb did not finish within 1 seconds."));
    QCOMPARE(events, QStringList());
}

QTEST_GUILESS_MAIN(TestAndroidMonitor)
#include "TestAndroidMonitor.moc"
