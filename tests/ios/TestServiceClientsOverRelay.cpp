// Each service client started on a simulated phone whose service is relayed to a Unix
// socket that the test listens on; a thread of the test plays the phone's service there.

#include "ios/AfcConnection.h"
#include "ios/AfcFile.h"
#include "ios/mobiledevice_backup2.h"
#include "ios/mobiledevice_library.h"
#include "ios/mobiledevice_notification.h"
#include "ios/mobiledevice_notification_thread.h"
#include "ios/mobiledevice_socket.h"
#include "ios/mobiledevice_sync.h"

#include "AfcPhone.h"
#include "SimPhoneFixture.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

class ArrivalRecorder : public QObject
{
    Q_OBJECT
public:
    QList<void*> arrived;
public slots:
    void iosDeviceConnected(void* handle) { arrived.append(handle); }
    void iosDeviceDisconnected(void*) {}
};

} // namespace

class TestServiceClientsOverRelay : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_root;
    ArrivalRecorder m_recorder;
    int m_phones = 0;

    QByteArray relayPath(const char* name) const { return QFile::encodeName(m_dir.filePath(name)); }

    // A new phone whose service is relayed to path; its handle.
    void* plugIn(const QString& service, const QByteArray& path)
    {
        const qsizetype before = m_recorder.arrived.size();
        const QJsonObject sim{{"Services", QJsonObject{{service, "relay:" + QString::fromUtf8(path)}}}};
        if (!makePhone(m_root, QStringLiteral("PHONE%1").arg(++m_phones), sim))
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
    }

    void cleanupTestCase() { mobiledevice_notification().receiver = nullptr; }

    void afcConnectionListsReadsAndWrites()
    {
        const RelayListener listener(relayPath("afc.sock"));
        void* handle = plugIn("com.apple.afc", relayPath("afc.sock"));
        QVERIFY(handle);
        AfcConnection connection(handle);
        connection.connect();
        QVERIFY(connection.socket() >= 3);
        const int phoneEnd = listener.accept();
        QVERIFY(phoneEnd >= 0);

        auto info = [](const QByteArray& type, const QByteArray& size, const QByteArray& mtime = {}) {
            QList<QByteArray> texts{"st_ifmt", type, "st_size", size};
            if (!mtime.isEmpty())
                texts << "st_mtime" << mtime;
            return afcPacket(afcOperationData, nulTerminated(texts));
        };
        AfcPhone phone(phoneEnd,
                       {afcPacket(afcOperationData, nulTerminated({".", "..", "a.jpg", "Link", "sub", "gone"})),
                        info("S_IFREG", "1024", "1700000000123456789"), info("S_IFLNK", "7"), info("s_ifdir", "96"),
                        statusReply(8),
                        statusReply(0), afcPacket(afcOperationFileOpened, number(7)), statusReply(0),
                        afcPacket(afcOperationData, "hello"), afcPacket(afcOperationData, {}), statusReply(0),
                        statusReply(0)});
        const QList<AfcFileInfo> entries = connection.list("/DCIM");
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries[0].name, QStringLiteral("/DCIM/a.jpg"));
        QVERIFY(entries[0].isFile());
        QCOMPARE(entries[0].size, Q_INT64_C(1024));
        QCOMPARE(entries[0].mtime, QDateTime::fromMSecsSinceEpoch(Q_INT64_C(1700000000123)));
        QCOMPARE(entries[1].name, QStringLiteral("/DCIM/sub"));
        QVERIFY(entries[1].isDir());
        QCOMPARE(entries[1].size, Q_INT64_C(96));
        QVERIFY(entries[1].mtime.isNull());

        AfcFile file;
        // A status of 0 instead of a handle opens nothing.
        QVERIFY(!connection.openRead("/DCIM/a.jpg", file));
        QVERIFY(!file.isOpen());
        QVERIFY(connection.openWrite("/note.txt", file));
        QCOMPARE(file.write("hello", 5), qint64(5));
        // The phone's empty reply ends the file before the count asked for.
        char buffer[8] = {};
        QCOMPARE(file.read(buffer, 8), qint64(5));
        QCOMPARE(QByteArray(buffer), QByteArray("hello"));
        file.close();
        QVERIFY(connection.makeDirectory("/New"));
        phone.join();
        QCOMPARE(phone.requests.size(), 12);
        QCOMPARE(field(phone.requests[5], 32), afcOperationFileOpen);
        QCOMPARE(field(phone.requests[5], 40), quint64(AfcConnection::readMode));
        QCOMPARE(field(phone.requests[6], 40), quint64(AfcConnection::writeMode));
        QCOMPARE(field(phone.requests[10], 32), afcOperationFileClose);

        // Once the phone is gone, operations fail without throwing.
        ::close(phoneEnd);
        QVERIFY(!connection.remove("/New"));
        QVERIFY(!connection.rename("/a", "/b"));
        QVERIFY(connection.list("/").isEmpty());
        QVERIFY(!AfcFileInfo::query(connection, "/a").isValid());
        connection.close();
        QCOMPARE(connection.socket(), 0);
        QVERIFY(!connection.makeDirectory("/New"));
    }

    void houseArrestOpensAnAppContainer()
    {
        const RelayListener listener(relayPath("house_arrest.sock"));
        void* handle = plugIn("com.apple.mobile.house_arrest", relayPath("house_arrest.sock"));
        QVERIFY(handle);
        QList<CFType> requests;
        std::thread phone([&] {
            const int refused = listener.accept();
            requests.append(CFType::fromData(readFrame(refused)));
            sendPlist(refused, "<dict><key>Error</key><string>InstallationLookupFailed</string></dict>");
            // The program closes the refused connection.
            readExactly(refused, 1);
            ::close(refused);
            const int vended = listener.accept();
            requests.append(CFType::fromData(readFrame(vended)));
            sendPlist(vended, "<dict><key>Status</key><string>Complete</string></dict>");
            AfcPhone afc(vended, {statusReply(0)});
            afc.join();
            ::close(vended);
        });
        AfcConnection connection(handle);
        QCOMPARE(errorOf([&] { connection.connect("com.example.none"); }), QStringLiteral("can not find com.example.none."));
        QCOMPARE(connection.socket(), 0);
        connection.connect("com.example.notes");
        QVERIFY(connection.makeDirectory("/Documents/New"));
        phone.join();
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests[0].value("Identifier").toString(), QStringLiteral("com.example.none"));
        QCOMPARE(requests[1].value("Command").toString(), QStringLiteral("VendContainer"));
        QCOMPARE(requests[1].value("Identifier").toString(), QStringLiteral("com.example.notes"));
    }

    void notificationThreadRelaysUntilStopped()
    {
        const RelayListener listener(relayPath("notification.sock"));
        void* handle = plugIn("com.apple.mobile.notification_proxy", relayPath("notification.sock"));
        QVERIFY(handle);
        mobiledevice_notification_thread thread(handle);
        thread.start_service({"com.apple.x", "com.apple.y"});
        const int phoneEnd = listener.accept();
        QVERIFY(phoneEnd >= 0);
        const QByteArray firstObserve = readFrame(phoneEnd);
        QVERIFY(firstObserve.startsWith("<?xml"));
        const CFType observe = CFType::fromData(firstObserve);
        QCOMPARE(observe.dictionaryCount(), 2);
        QCOMPARE(observe.value("Command").toString(), QStringLiteral("ObserveNotification"));
        QCOMPARE(observe.value("Name").toString(), QStringLiteral("com.apple.x"));
        QCOMPARE(CFType::fromData(readFrame(phoneEnd)).value("Name").toString(), QStringLiteral("com.apple.y"));

        QSignalSpy spy(&thread, &mobiledevice_notification_thread::recNotification);
        thread.start();
        sendPlist(phoneEnd, "<dict><key>Command</key><string>RelayNotification</string>"
                            "<key>Name</key><string>com.apple.x</string></dict>");
        QVERIFY(spy.wait(2000));
        QCOMPARE(spy.takeFirst().at(0).toString(), QStringLiteral("com.apple.x"));

        // The thread ends after its pause, or after the read under way, which this
        // notification ends.
        thread.stop();
        sendPlist(phoneEnd, "<dict><key>Command</key><string>RelayNotification</string>"
                            "<key>Name</key><string>com.apple.y</string></dict>");
        QVERIFY(thread.wait(5000));
        QVERIFY(spy.size() <= 1);
        if (!spy.isEmpty())
            QCOMPARE(spy.takeFirst().at(0).toString(), QStringLiteral("com.apple.y"));
        ::close(phoneEnd);
        mobiledevice_close_socket(thread.socket());
    }

    void notificationThreadEndsWhenThePhoneCloses()
    {
        const RelayListener listener(relayPath("closing.sock"));
        void* handle = plugIn("com.apple.mobile.notification_proxy", relayPath("closing.sock"));
        QVERIFY(handle);
        mobiledevice_notification_thread thread(handle);
        thread.start_service({});
        const int phoneEnd = listener.accept();
        QVERIFY(phoneEnd >= 0);
        // Logged once, not once a second for ever.
        QTest::ignoreMessage(QtDebugMsg, "mobiledevice_notification_thread::run, the phone closed the connection: "
                                         "mobiledevice_recmsg(msg-length) error, received length: 0.");
        thread.start();
        ::close(phoneEnd);
        QVERIFY(thread.wait(5000));
        mobiledevice_close_socket(thread.socket());
    }

    void backup2StartsWithTheHandshake()
    {
        const RelayListener listener(relayPath("backup2.sock"));
        void* handle = plugIn("com.apple.mobilebackup2", relayPath("backup2.sock"));
        QVERIFY(handle);
        QByteArray versionReply;
        QByteArray hello;
        std::thread phone([&] {
            const int fd = listener.accept();
            sendPlist(fd, "<array><string>DLMessageVersionExchange</string><integer>300</integer>"
                          "<integer>0</integer></array>");
            versionReply = readFrame(fd);
            sendPlist(fd, dlMessage({"DLMessageDeviceReady"}));
            hello = readFrame(fd);
            sendPlist(fd, "<array><string>DLMessageProcessMessage</string><dict><key>MessageName</key>"
                          "<string>Response</string><key>ErrorCode</key><integer>0</integer>"
                          "<key>ProtocolVersion</key><real>2.1</real></dict></array>");
            readAll(fd);
            ::close(fd);
        });
        int socket = 0;
        mobiledevice_backup2_start(handle, &socket);
        QVERIFY(socket >= 3);
        const double versions[] = {2.0, 2.1};
        QCOMPARE(mobiledevice_backup2_version_exchange(socket, versions, 2), 2.1);
        mobiledevice_close_socket(socket);
        phone.join();
        QCOMPARE(elements(versionReply), (QStringList{"DLMessageVersionExchange", "DLVersionsOk"}));
        QVERIFY(hello.startsWith("bplist00"));
        QCOMPARE(CFType::fromData(hello).at(1).value("MessageName").toString(), QStringLiteral("Hello"));
        QVERIFY(callsLog(lastPhoneFolder()).contains("AMDeviceStartService com.apple.mobilebackup2 0"));
    }

    void syncSessionStart_data()
    {
        QTest::addColumn<bool>("ping");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("sentAfterOpening");
        const QByteArray computer = dlMessage({"SDMessageSyncDataClassWithComputer", "com.apple.Contacts"});
        QTest::newRow("without ping") << false << computer << "no error" << 0;
        QTest::newRow("with ping") << true << computer << "no error" << 1;
        const QByteArray refused = dlMessage({"SDMessageRefuseToSyncDataClassWithComputer", "com.apple.Contacts"});
        QTest::newRow("refused")
            << true << refused
            << "invalid feedback after send SDMessageSyncDataClassWithDevice.\n"
                   + ourXml(refused)
            << 0;
    }
    void syncSessionStart()
    {
        QFETCH(bool, ping);
        QFETCH(QByteArray, answer);
        QFETCH(QString, error);
        QFETCH(int, sentAfterOpening);
        const RelayListener listener(relayPath("sync.sock"));
        void* handle = plugIn("com.apple.mobilesync", relayPath("sync.sock"));
        QVERIFY(handle);
        QStringList opening;
        QList<QStringList> afterwards;
        std::thread phone([&] {
            const int fd = listener.accept();
            sendPlist(fd, dlMessage({"DLMessageDeviceReady"}));
            opening = elements(readFrame(fd));
            sendPlist(fd, answer);
            for (QByteArray next = readFrame(fd); !next.isEmpty(); next = readFrame(fd))
                afterwards.append(elements(next));
            ::close(fd);
        });
        int socket = 0;
        const mobiledevice_sync_anchors anchors("com.apple.Contacts", "device-anchor", "computer-anchor");
        QCOMPARE(errorOf([&] { mobiledevice_sync_start_session(handle, anchors, &socket, ping); }), error);
        // The socket is the caller's also after a failure.
        QVERIFY(socket >= 3);
        mobiledevice_close_socket(socket);
        phone.join();
        QCOMPARE(opening, (QStringList{"SDMessageSyncDataClassWithDevice", "com.apple.Contacts", "device-anchor",
                                       "computer-anchor", "106"}));
        QCOMPARE(afterwards.size(), sentAfterOpening);
        if (sentAfterOpening)
            QCOMPARE(afterwards[0], (QStringList{"DLMessagePing", "Preparing to get changes for device"}));
    }

    void tetheredSyncSwitch_data()
    {
        QTest::addColumn<bool>("disable");
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("disable") << true << QByteArray("{'com.apple.Contacts': {'DisableTethered': True}}");
        QTest::newRow("enable") << false << QByteArray("{'com.apple.Contacts': {'DisableTethered': False}}");
    }
    void tetheredSyncSwitch()
    {
        QFETCH(bool, disable);
        QFETCH(QByteArray, stored);
        void* handle = plugIn("com.apple.mobilesync", relayPath("unused.sock"));
        QVERIFY(handle);
        QCOMPARE(mobiledevice_disable_tethered_sync(handle, "com.apple.Contacts", disable), 0);
        QCOMPARE(valuesPlistEntry(lastPhoneFolder(), "['com.apple.mobile.tethered_sync']"), stored);
    }
};

QTEST_GUILESS_MAIN(TestServiceClientsOverRelay)
#include "TestServiceClientsOverRelay.moc"
