// Every property-list service client against a phone that sends nothing, garbage or a
// huge length and then stops sending: a clear error, promptly, never a crash. (AFC's own
// packets have the same cases in TestAfc.)

#include "ios/CFType.h"
#include "ios/afc.h"
#include "ios/mobiledevice_backup2.h"
#include "ios/mobiledevice_library.h"
#include "ios/mobiledevice_link.h"
#include "ios/mobiledevice_notification_proxy.h"
#include "ios/mobiledevice_sync.h"

#include "PeerSocket.h"

#include <QElapsedTimer>
#include <QTest>

#include <thread>

namespace {

using Client = std::function<void(int socket)>;

const QMap<QString, Client>& clients()
{
    static const QMap<QString, Client> all{
        {"house_arrest", [](int s) { afc_house_arrest_vend_container(s, "com.example.app"); }},
        {"notification", [](int s) { mobiledevice_notification_get_throw(s); }},
        {"DeviceLink handshake", [](int s) { mobiledevice_link_version_exchange(s); }},
        {"mobilebackup2 hello",
         [](int s) {
             const double version = 2.0;
             mobiledevice_backup2_version_exchange(s, &version, 1);
         }},
        {"mobilesync records", [](int s) { mobiledevice_sync_get_all_records(s, "com.apple.Contacts"); }},
        {"mobilesync changes",
         [](int s) {
             mobiledevice_sync_process_changes(s, CFType::createDictionary(), "com.apple.Contacts",
                                               CFType::createDictionary());
         }},
    };
    return all;
}

} // namespace

class TestServiceClientGarbage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(mobiledevice_load_frameworks(error), qPrintable(error));
    }

    void clearErrorPromptly_data()
    {
        QTest::addColumn<QString>("client");
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QString>("expected");
        const QString noLength = QStringLiteral("mobiledevice_recmsg(msg-length) error, received length: 0.");
        const QString tooLong = QStringLiteral("mobiledevice_recmsg(msg) error, received length: 0.");
        const QMap<QString, QString> garbageErrors{
            {"house_arrest", "house_arrest gave no readable answer for com.example.app."},
            {"notification", "unknown NotificationProxy command '' received!"},
            // The garbage is taken for a first message and answered; then nothing comes.
            {"DeviceLink handshake", noLength},
            {"mobilebackup2 hello", "Did not receive a DL* message as expected."},
            {"mobilesync records", "invalid feedback after send SDMessageGetAllRecordsFromDevice.\n"},
            {"mobilesync changes", "invalid feedback after send SDMessageProcessChanges.\n"},
        };
        for (const QString& client : clients().keys()) {
            QTest::addRow("%s, nothing", qPrintable(client)) << client << QByteArray() << noLength;
            QTest::addRow("%s, 2 GiB announced", qPrintable(client))
                << client << QByteArray("\x7f\xff\xff\xff" "abc") << tooLong;
            QTest::addRow("%s, garbage", qPrintable(client))
                << client << framed(QByteArray("\x01\xfe garbage \x00", 12)) << garbageErrors.value(client);
        }
    }
    void clearErrorPromptly()
    {
        QFETCH(QString, client);
        QFETCH(QByteArray, wire);
        QFETCH(QString, expected);
        SocketPair pair;
        // The phone stops sending but still takes what the client sends.
        writeAll(pair.peer(), wire);
        ::shutdown(pair.peer(), SHUT_WR);
        std::thread drain([&] { readAll(pair.peer()); });
        QElapsedTimer timer;
        timer.start();
        const QString error = errorOf([&] { clients().value(client)(pair.ours()); });
        const qint64 elapsed = timer.elapsed();
        pair.closeOurs();
        drain.join();
        QVERIFY2(error.startsWith(expected), qPrintable(error));
        QVERIFY(elapsed < 5000);
    }
};

QTEST_GUILESS_MAIN(TestServiceClientGarbage)
#include "TestServiceClientGarbage.moc"
