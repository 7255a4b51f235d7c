// Sessions, lockdown values, services and arrival against the simulated device library:
// phones are folders made by make-phone below this program's own SIMDEVICE_ROOT.

#include "ios/mobiledevice_library.h"
#include "ios/mobiledevice_notification.h"
#include "ios/mobiledevice_session.h"
#include "ios/mobiledevice_socket.h"

#include "mobiledevice/simdevice.h"
#include "SimPhoneFixture.h"
#include "support/CraftedPlists.h"

#include <QJsonArray>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QString wifiAdvice = QStringLiteral(
    "Please turn off Wifi Sync on iTunes to try again.<br/>To do this:  Launch iTunes -&gt; Connect your device -&gt; "
    "Go Summary -&gt; Options -&gt; Uncheck Sync with this device over Wi-Fi.<br/><br/>");
const QString sessionAdvice = QStringLiteral(
    "Please restart your iPhone and computer to try again. If a prompt message pops out on your iPhone, please click "
    "\"Trust\".<br/><br/>Error code: ");

class ArrivalRecorder : public QObject
{
    Q_OBJECT
public:
    QList<void*> arrived;
    QList<void*> left;
public slots:
    void iosDeviceConnected(void* handle) { arrived.append(handle); }
    void iosDeviceDisconnected(void* handle) { left.append(handle); }
};

QString errorOf(const std::function<void()>& operation)
{
    try {
        operation();
    } catch (const std::runtime_error& e) {
        return QString::fromUtf8(e.what());
    }
    return QStringLiteral("no error");
}

} // namespace

class TestMobileDeviceSession : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_root;
    ArrivalRecorder m_recorder;
    int m_phones = 0;

    // A new phone, plugged in and reported; its handle.
    void* plugIn(const QJsonObject& sim = {}, const QString& udid = {})
    {
        const QString name = udid.isEmpty() ? QStringLiteral("PHONE%1").arg(++m_phones) : udid;
        const qsizetype before = m_recorder.arrived.size();
        if (!makePhone(m_root, name, sim))
            return nullptr;
        if (!QTest::qWaitFor([&] { return m_recorder.arrived.size() > before; }, 5000))
            return nullptr;
        return m_recorder.arrived.last();
    }
    QString lastPhoneFolder() const { return m_root + QStringLiteral("/PHONE%1").arg(m_phones); }

private slots:
    void initTestCase()
    {
        m_root = m_dir.filePath("root");
        qputenv("SIMDEVICE_ROOT", QFile::encodeName(m_root));
        mobiledevice_notification_context& context = mobiledevice_notification();
        context.receiver = &m_recorder;
        context.connectedSlot = "iosDeviceConnected";
        context.disconnectedSlot = "iosDeviceDisconnected";
        mobiledevice_subscribe_notification(&context);
        QVERIFY(mobiledevice_frameworks_loaded());
    }

    void cleanupTestCase() { mobiledevice_notification().receiver = nullptr; }

    void arrivalAndRemovalKeepTheHandle()
    {
        void* handle = plugIn({}, QStringLiteral("ARRIVING"));
        QVERIFY(handle);
        QCOMPARE(mobiledevice_copy_values(handle, {"UniqueDeviceID"}, {}).at(0).toString(), QStringLiteral("ARRIVING"));
        QCOMPARE(mobiledevice_copy_device_identifier(handle), QStringLiteral("ARRIVING"));

        QVERIFY(QDir().rename(m_root + "/ARRIVING", m_dir.filePath("ARRIVING")));
        QTRY_COMPARE_WITH_TIMEOUT(m_recorder.left.size() > 0 ? m_recorder.left.last() : nullptr, handle, 5000);
        QVERIFY(errorOf([&] { mobiledevice_copy_values(handle, {"DeviceName"}, {}); })
                    .endsWith(QStringLiteral("AMDeviceConnect(%1)").arg(simDeviceNotConnected)));

        const qsizetype before = m_recorder.arrived.size();
        QVERIFY(QDir().rename(m_dir.filePath("ARRIVING"), m_root + "/ARRIVING"));
        QTRY_VERIFY_WITH_TIMEOUT(m_recorder.arrived.size() > before, 5000);
        QCOMPARE(m_recorder.arrived.last(), handle);
    }

    void sessionBracketOrder()
    {
        void* handle = plugIn(QJsonObject{{"Paired", false}});
        QVERIFY(handle);
        const QString folder = lastPhoneFolder();
        const QList<CFType> values = mobiledevice_copy_values(handle, {"NoSuchKey", "DeviceName"}, {});
        QCOMPARE(values.size(), 2);
        QVERIFY(!values[0].ref());
        QCOMPARE(values[1].toString(), QStringLiteral("iPhone"));
        QCOMPARE(callsLog(folder), QStringList({"AMDeviceConnect 0", "AMDeviceIsPaired 0", "AMDevicePair 0",
                                                "AMDeviceValidatePairing 0", "AMDeviceStartSession 0",
                                                "AMDeviceCopyValue -1", "AMDeviceCopyValue 0",
                                                "AMDeviceStopSession 0", "AMDeviceDisconnect 0"}));
        // The trust given is remembered by the phone.
        QCOMPARE(valuesPlistEntry(folder, "['Sim']['Paired']"), QByteArray("True"));
    }

    void refusals_data()
    {
        QTest::addColumn<QJsonObject>("sim");
        QTest::addColumn<QString>("service");
        QTest::addColumn<QString>("expectedError");
        QTest::addColumn<QStringList>("expectedCalls");
        QTest::newRow("pairing refused")
            << QJsonObject{{"Paired", false}, {"PairResult", -18}} << "" << sessionAdvice + "AMDevicePair(-18)"
            << QStringList{"AMDeviceConnect 0", "AMDeviceIsPaired 0", "AMDevicePair -18"};
        QTest::newRow("connection refused") << QJsonObject{{"ConnectResult", -3}} << ""
                                            << sessionAdvice + "AMDeviceConnect(-3)" << QStringList{"AMDeviceConnect -3"};
        QTest::newRow("pairing not valid")
            << QJsonObject{{"ValidateResult", -21}} << "" << sessionAdvice + "AMDeviceValidatePairing(-21)"
            << QStringList{"AMDeviceConnect 0", "AMDeviceIsPaired 1", "AMDeviceValidatePairing -21"};
        QTest::newRow("session refused, disconnected once")
            << QJsonObject{{"StartSessionResult", -5}} << "" << sessionAdvice + "AMDeviceStartSession(-5)"
            << QStringList{"AMDeviceConnect 0", "AMDeviceIsPaired 1", "AMDeviceValidatePairing 0",
                           "AMDeviceStartSession -5", "AMDeviceDisconnect 0"};
        QTest::newRow("service refused, session closed")
            << QJsonObject{{"Services", QJsonObject{{"com.apple.afc", -7}}}} << "com.apple.afc"
            << wifiAdvice + "Error code: AMDeviceStartService(com.apple.afc)=-7"
            << QStringList{"AMDeviceConnect 0", "AMDeviceIsPaired 1", "AMDeviceValidatePairing 0",
                           "AMDeviceStartSession 0", "AMDeviceStartService com.apple.afc -7", "AMDeviceStopSession 0",
                           "AMDeviceDisconnect 0"};
        QTest::newRow("service the phone lacks")
            << QJsonObject() << "com.apple.mobilesync"
            << wifiAdvice + QStringLiteral("Error code: AMDeviceStartService(com.apple.mobilesync)=%1").arg(simDeviceUnknownService)
            << QStringList{"AMDeviceConnect 0", "AMDeviceIsPaired 1", "AMDeviceValidatePairing 0",
                           "AMDeviceStartSession 0",
                           QStringLiteral("AMDeviceStartService com.apple.mobilesync %1").arg(simDeviceUnknownService),
                           "AMDeviceStopSession 0", "AMDeviceDisconnect 0"};
    }
    void refusals()
    {
        QFETCH(QJsonObject, sim);
        QFETCH(QString, service);
        QFETCH(QString, expectedError);
        QFETCH(QStringList, expectedCalls);
        void* handle = plugIn(sim);
        QVERIFY(handle);
        const QString folder = lastPhoneFolder();
        int socket = 0;
        const QString error = errorOf([&] {
            if (service.isEmpty())
                mobiledevice_copy_values(handle, {"DeviceName"}, {});
            else
                mobiledevice_start_service(handle, service.toUtf8().constData(), &socket);
        });
        QCOMPARE(error, expectedError);
        QCOMPARE(callsLog(folder), expectedCalls);
        QCOMPARE(socket, 0);
    }

    // Lists that libplist would recurse into until the stack ends, or abort on.
    void valuesLibplistCannotReadAreRefused_data()
    {
        QTest::addColumn<QByteArray>("values");
        QTest::newRow("binary nested 100,000 deep") << nestedBinary(100000);
        QTest::newRow("XML nested 100,000 deep") << nestedXml(100000);
        QTest::newRow("binary key holding a NUL") << binaryDictionary(QByteArray("\x62\x00\x61\x00\x00", 5));
    }
    void valuesLibplistCannotReadAreRefused()
    {
        QFETCH(QByteArray, values);
        void* handle = plugIn();
        QVERIFY(handle);
        QFile file(lastPhoneFolder() + "/values.plist");
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(values), values.size());
        file.close();
        QCOMPARE(errorOf([&] { mobiledevice_copy_values(handle, {"DeviceName"}, {}); }),
                 sessionAdvice + QStringLiteral("AMDeviceConnect(%1)").arg(simDeviceNotConnected));
    }

    void serviceKnobHoldingNulIsUnreachable()
    {
        void* handle = plugIn();
        QVERIFY(handle);
        QCOMPARE(python("import plistlib,sys;v=plistlib.load(open(sys.argv[1],'rb'));"
                        "v['Sim']['Services']={'com.apple.afc':'relay:/nowhere\\0x'};"
                        "plistlib.dump(v,open(sys.argv[1],'wb'),fmt=plistlib.FMT_BINARY)",
                        {lastPhoneFolder() + "/values.plist"})
                     .exitCode,
                 0);
        int socket = 0;
        QVERIFY(errorOf([&] {
                    mobiledevice_start_service(handle, "com.apple.afc", &socket);
                }).endsWith(QStringLiteral("AMDeviceStartService(com.apple.afc)=%1").arg(simDeviceServiceUnreachable)));
        QCOMPARE(socket, 0);
    }

    void nullHandleIsRefusedWithoutACall()
    {
        const QString expected = sessionAdvice + QStringLiteral("AMDeviceConnect(%1)").arg(mobiledeviceNoDeviceError);
        QString message;
        QCOMPARE(mobiledevice_connect_session(nullptr, message), mobiledeviceNoDeviceError);
        QCOMPARE(message, expected);
        mobiledevice_disconnect_session(nullptr);
        int socket = 0;
        QCOMPARE(errorOf([&] { mobiledevice_start_service(nullptr, "com.apple.afc", &socket); }), expected);
        QCOMPARE(errorOf([&] { mobiledevice_copy_values(nullptr, {"DeviceName"}, {}); }), expected);
        QCOMPARE(errorOf([&] { mobiledevice_set_value(nullptr, {}, "k", CFType::fromBool(true)); }), expected);
        QCOMPARE(errorOf([&] { mobiledevice_copy_device_identifier(nullptr); }), expected);
    }

    void wholeDomainAndSetValue()
    {
        void* handle = plugIn();
        QVERIFY(handle);
        const QString folder = lastPhoneFolder();
        const CFType usage = mobiledevice_copy_values(handle, {""}, "com.apple.disk_usage").at(0);
        QCOMPARE(usage.value("TotalDataCapacity").toLongLong(), Q_INT64_C(16) << 30);

        CFType setting = CFType::createDictionary();
        setting.setValue(CFType::fromString("DisableTethered"), CFType::fromBool(true));
        QCOMPARE(mobiledevice_set_value(handle, "com.apple.mobile.tethered_sync", "Contacts", setting), 0);
        QCOMPARE(valuesPlistEntry(folder, "['com.apple.mobile.tethered_sync']"),
                 QByteArray("{'Contacts': {'DisableTethered': True}}"));
        QVERIFY(mobiledevice_copy_values(handle, {"Contacts"}, "com.apple.mobile.tethered_sync")
                    .at(0)
                    .value("DisableTethered")
                    .toBool(false));

        // The default domain, and a refused set that is returned, not thrown.
        QCOMPARE(mobiledevice_set_value(handle, {}, "DeviceName", CFType::fromString("Renamed")), 0);
        QCOMPARE(mobiledevice_copy_values(handle, {"DeviceName"}, {}).at(0).toString(), QStringLiteral("Renamed"));
        QCOMPARE(python("import plistlib,sys;v=plistlib.load(open(sys.argv[1],'rb'));v['Sim']['SetValueResult']=-9;"
                        "plistlib.dump(v,open(sys.argv[1],'wb'))",
                        {folder + "/values.plist"})
                     .exitCode,
                 0);
        QCOMPARE(mobiledevice_set_value(handle, {}, "DeviceName", CFType::fromString("Again")), -9);
        QCOMPARE(valuesPlistEntry(folder, "['DeviceName']"), QByteArray("'Renamed'"));
    }

    void relayedServiceReachesTheTestsSocket()
    {
        QLocalServer server;
        const QString path = m_dir.filePath("afc.sock");
        QVERIFY(server.listen(path));
        void* handle = plugIn(QJsonObject{{"Services", QJsonObject{{"com.apple.afc", "relay:" + path}}}});
        QVERIFY(handle);
        int socket = 0;
        mobiledevice_start_service(handle, "com.apple.afc", &socket);
        QVERIFY(socket >= 3);
        QVERIFY(::fcntl(socket, F_GETFD) & FD_CLOEXEC);
        QVERIFY(server.waitForNewConnection(5000));
        QLocalSocket* phone = server.nextPendingConnection();
        QCOMPARE(mobiledevice_send_data(socket, "ping", 4, 1000), 4);
        QTRY_COMPARE(phone->bytesAvailable(), 4);
        QCOMPARE(phone->readAll(), QByteArray("ping"));
        mobiledevice_close_socket(socket);
    }

    // Its reads end, its writes fail, the service sees the close, and the phone that
    // left starts no service.
    void unpluggingBreaksTheSocketsHandedOut()
    {
        QLocalServer server;
        const QString path = m_dir.filePath("leaving.sock");
        QVERIFY(server.listen(path));
        void* handle = plugIn(QJsonObject{{"Services", QJsonObject{{"com.apple.afc", "relay:" + path}}}},
                              QStringLiteral("LEAVING"));
        QVERIFY(handle);
        int relayed = 0;
        mobiledevice_start_service(handle, "com.apple.afc", &relayed);
        QVERIFY(server.waitForNewConnection(5000));
        QLocalSocket* service = server.nextPendingConnection();
        int fileRelay = 0;
        mobiledevice_start_service(handle, "com.apple.mobile.file_relay", &fileRelay);

        QVERIFY(QDir().rename(m_root + "/LEAVING", m_dir.filePath("LEAVING")));
        QTRY_VERIFY_WITH_TIMEOUT(m_recorder.left.contains(handle), 5000);
        for (const int socket : {relayed, fileRelay}) {
            char byte = 0;
            QCOMPARE(mobiledevice_receive_data(socket, &byte, 1, 5000), 0);
            QVERIFY(mobiledevice_send_data(socket, "x", 1, 1000) < 1);
            mobiledevice_close_socket(socket);
        }
        QTRY_COMPARE_WITH_TIMEOUT(service->state(), QLocalSocket::UnconnectedState, 5000);
        int again = 0;
        QVERIFY(errorOf([&] {
                    mobiledevice_start_service(handle, "com.apple.afc", &again);
                }).endsWith(QStringLiteral("AMDeviceConnect(%1)").arg(simDeviceNotConnected)));
    }

    void builtInFileRelayHandsOutASocket()
    {
        void* handle = plugIn();
        QVERIFY(handle);
        int socket = 0;
        mobiledevice_start_service(handle, "com.apple.mobile.file_relay", &socket);
        QVERIFY(socket >= 3);
        QVERIFY(::fcntl(socket, F_GETFD) & FD_CLOEXEC);
        mobiledevice_close_socket(socket);
    }

    void callbackInvokesTheSlotOfItsMessage_data()
    {
        QTest::addColumn<unsigned>("message");
        QTest::addColumn<bool>("withReceiver");
        QTest::addColumn<int>("arrivals");
        QTest::addColumn<int>("removals");
        QTest::newRow("arrival") << 1u << true << 1 << 0;
        QTest::newRow("removal") << 2u << true << 0 << 1;
        QTest::newRow("another message") << 3u << true << 0 << 0;
        QTest::newRow("no receiver yet") << 1u << false << 0 << 0;
    }
    void callbackInvokesTheSlotOfItsMessage()
    {
        QFETCH(unsigned, message);
        QFETCH(bool, withReceiver);
        QFETCH(int, arrivals);
        QFETCH(int, removals);
        ArrivalRecorder recorder;
        mobiledevice_notification_context context;
        if (withReceiver) {
            context.receiver = &recorder;
            context.connectedSlot = "iosDeviceConnected";
            context.disconnectedSlot = "iosDeviceDisconnected";
        }
        int device = 0;
        const AMDeviceNotificationRecord record{reinterpret_cast<AMDeviceRef>(&device), message};
        mobiledevice_device_notification_callback(&record, &context);
        QCOMPARE(recorder.arrived.size(), arrivals);
        QCOMPARE(recorder.left.size(), removals);
        if (arrivals)
            QCOMPARE(recorder.arrived.first(), static_cast<void*>(&device));
    }

    // The library calls from a thread of its own; the receiver may go before the call
    // reaches it, and the call then finds nothing, without touching freed memory.
    void callbackFromTheLibrarysThread()
    {
        mobiledevice_notification_context context;
        auto recorder = std::make_unique<ArrivalRecorder>();
        context.receiver = recorder.get();
        context.connectedSlot = "iosDeviceConnected";
        int device = 0;
        const AMDeviceNotificationRecord record{reinterpret_cast<AMDeviceRef>(&device), 1};
        const auto callFromAnotherThread = [&] {
            std::thread([&] { mobiledevice_device_notification_callback(&record, &context); }).join();
        };
        callFromAnotherThread();
        QTRY_COMPARE(recorder->arrived.size(), 1);
        callFromAnotherThread();
        recorder.reset();
        QVERIFY(context.receiver.isNull());
        QCoreApplication::sendPostedEvents();
    }

    void callbackAfterTheReceiverIsGone()
    {
        mobiledevice_notification_context context;
        {
            ArrivalRecorder recorder;
            context.receiver = &recorder;
            context.connectedSlot = "iosDeviceConnected";
        }
        QVERIFY(context.receiver.isNull());
        const AMDeviceNotificationRecord record{nullptr, 1};
        mobiledevice_device_notification_callback(&record, &context);
    }
};

QTEST_GUILESS_MAIN(TestMobileDeviceSession)
#include "TestMobileDeviceSession.moc"
