// The notification proxy client over a socket pair, with the phone played by a thread.
// The relaying thread needs a started service: it is tested over a relayed one elsewhere.

#include "ios/CFType.h"
#include "ios/mobiledevice_library.h"
#include "ios/mobiledevice_notification_proxy.h"
#include "ios/mobiledevice_notification_thread.h"

#include "PeerSocket.h"

#include <QTest>

#include <thread>

namespace {

QByteArray command(const QByteArray& name, const QByteArray& notification = {})
{
    QByteArray body = "<dict><key>Command</key><string>" + name + "</string>";
    if (!notification.isEmpty())
        body += "<key>Name</key><string>" + notification + "</string>";
    return body + "</dict>";
}

// Command and name of a message the client sent, which must be XML.
QStringList commandOf(const QByteArray& wire)
{
    if (!wire.startsWith("<?xml"))
        return {QStringLiteral("not XML")};
    const CFType message = CFType::fromData(wire);
    QStringList parts{message.value("Command").toString()};
    if (message.value("Name").ref())
        parts.append(message.value("Name").toString());
    return parts;
}

} // namespace

class TestMobileDeviceNotificationProxy : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(mobiledevice_load_frameworks(error), qPrintable(error));
    }

    void received_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QString>("expected");
        QTest::newRow("relayed") << command("RelayNotification", "com.apple.x") << "com.apple.x";
        QTest::newRow("relayed, in lower case") << command("relaynotification", "com.apple.y") << "com.apple.y";
        QTest::newRow("proxy died") << command("ProxyDeath") << "ERROR: NotificationProxy died!";
        QTest::newRow("proxy died, in upper case") << command("PROXYDEATH") << "ERROR: NotificationProxy died!";
        QTest::newRow("unknown command") << command("Observe") << "unknown NotificationProxy command 'Observe' received!";
        QTest::newRow("not a dictionary") << dlMessage({"RelayNotification"})
                                          << "unknown NotificationProxy command '' received!";
    }
    void received()
    {
        QFETCH(QByteArray, message);
        QFETCH(QString, expected);
        SocketPair pair;
        sendPlist(pair.peer(), message);
        QString name;
        const QString error = errorOf([&] { name = mobiledevice_notification_get_throw(pair.ours()); });
        QCOMPARE(error == "no error" ? name : error, expected);
    }

    void observeSendsOneRequestAndReadsNothing()
    {
        SocketPair pair;
        mobiledevice_notification_observe(pair.ours(), "com.apple.x");
        pair.closeOurs();
        const QByteArray wire = readAll(pair.peer());
        QCOMPARE(commandOf(wire.mid(4)), (QStringList{"ObserveNotification", "com.apple.x"}));
        QCOMPARE(framed(wire.mid(4)), wire);
    }

    void post_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("logged");
        QTest::newRow("proxy died as asked") << command("ProxyDeath") << "";
        QTest::newRow("unexpected answer") << command("RelayNotification", "com.apple.z")
                                           << "mobiledevice_notification_post, unexpected answer: RelayNotification";
    }
    void post()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QString, logged);
        SocketPair pair;
        QList<QStringList> sent;
        std::thread phone([&] {
            sent.append(commandOf(readFrame(pair.peer())));
            sent.append(commandOf(readFrame(pair.peer())));
            sendPlist(pair.peer(), answer);
        });
        QTest::ignoreMessage(QtDebugMsg, "mobiledevice_notification_post, notification:com.apple.backup");
        if (!logged.isEmpty())
            QTest::ignoreMessage(QtDebugMsg, logged.toUtf8().constData());
        mobiledevice_notification_post(pair.ours(), "com.apple.backup");
        phone.join();
        QCOMPARE(sent, (QList<QStringList>{{"PostNotification", "com.apple.backup"}, {"Shutdown"}}));
    }

    void postToAClosedPhone()
    {
        SocketPair pair;
        pair.closePeer();
        QVERIFY(errorOf([&] { mobiledevice_notification_post(pair.ours(), "com.apple.backup"); })
                    .startsWith("mobiledevice_sendmsg(msg"));
    }

    // The error must not leave the thread, which would end the process.
    void runWithoutAServiceLogsAndEnds()
    {
        mobiledevice_notification_thread thread(nullptr);
        QTest::ignoreMessage(QtDebugMsg, "mobiledevice_notification_thread::run, start service first.");
        thread.start();
        QVERIFY(thread.wait(5000));
    }
};

QTEST_GUILESS_MAIN(TestMobileDeviceNotificationProxy)
#include "TestMobileDeviceNotificationProxy.moc"
