// The DeviceLink layer over a socket pair, with the device played by a thread.

#include "ios/mobiledevice_library.h"
#include "ios/mobiledevice_link.h"

#include "PeerSocket.h"
#include "support/Cli.h"

#include <QTemporaryDir>
#include <QTest>

#include <thread>

namespace {

CFType dictionaryWith(const QString& key, const QString& value)
{
    CFType dictionary = CFType::createDictionary();
    dictionary.setValue(CFType::fromString(key), CFType::fromString(value));
    return dictionary;
}

} // namespace

class TestMobileDeviceLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(mobiledevice_load_frameworks(error), qPrintable(error));
    }

    void deviceReadyFirstCompletesAtOnce()
    {
        SocketPair pair;
        sendPlist(pair.peer(), dlMessage({"DLMessageDeviceReady"}));
        mobiledevice_link_version_exchange(pair.ours());
        pair.closeOurs();
        QCOMPARE(readAll(pair.peer()), QByteArray());
    }

    void anyOtherFirstMessageIsAnsweredInXml_data()
    {
        QTest::addColumn<QByteArray>("first");
        QTest::newRow("version exchange with versions")
            << QByteArray("<array><string>DLMessageVersionExchange</string><integer>300</integer><integer>0</integer></array>");
        QTest::newRow("a name never seen") << dlMessage({"DLMessageSomethingElse"});
        QTest::newRow("a dictionary") << QByteArray("<dict/>");
    }
    void anyOtherFirstMessageIsAnsweredInXml()
    {
        QFETCH(QByteArray, first);
        SocketPair pair;
        QByteArray reply;
        std::thread device([&] {
            sendPlist(pair.peer(), first);
            reply = readFrame(pair.peer());
            sendPlist(pair.peer(), dlMessage({"DLMessageDeviceReady"}));
        });
        mobiledevice_link_version_exchange(pair.ours());
        device.join();
        QVERIFY(reply.startsWith("<?xml"));
        // Read by a parser that is not ours: exactly two strings, no version number.
        QTemporaryDir dir;
        QFile file(dir.filePath("reply.plist"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(reply);
        file.close();
        const CliResult parsed =
            python("import plistlib,sys;print(repr(plistlib.load(open(sys.argv[1],'rb'))))", {file.fileName()});
        QCOMPARE(parsed.out.trimmed(), QByteArray("['DLMessageVersionExchange', 'DLVersionsOk']"));
    }

    void secondHandshakeMessageMustBeDeviceReady()
    {
        SocketPair pair;
        const QByteArray ping = dlMessage({"DLMessagePing", "busy"});
        std::thread device([&] {
            sendPlist(pair.peer(), dlMessage({"DLMessageVersionExchange"}));
            readFrame(pair.peer());
            sendPlist(pair.peer(), ping);
        });
        const QString error = errorOf([&] { mobiledevice_link_version_exchange(pair.ours()); });
        device.join();
        QCOMPARE(error, "invalid feedback after send DLMessageVersionExchange.\n" + ourXml(ping));
    }

    void receivedNames_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QString>("dlError");
        QTest::addColumn<QString>("processError");
        const QString notDl = QStringLiteral("Did not receive a DL* message as expected.");
        const QString notProcess = QStringLiteral("Did not receive DLMessageProcessMessage as expected.");
        QTest::newRow("process message") << dlMessage({"DLMessageProcessMessage"}) << "no error" << "no error";
        QTest::newRow("dl in lower case") << dlMessage({"dlMessageProcessMessage"}) << "no error" << notProcess;
        QTest::newRow("another DL message") << dlMessage({"DLMessagePing"}) << "no error" << notProcess;
        QTest::newRow("not DL") << dlMessage({"SDMessageProcessChanges"}) << notDl << notDl;
        QTest::newRow("a dictionary") << QByteArray("<dict><key>DLMessage</key><string>x</string></dict>") << notDl
                                      << notDl;
        QTest::newRow("an empty array") << QByteArray("<array/>") << notDl << notDl;
        QTest::newRow("name not a string") << QByteArray("<array><integer>1</integer></array>") << notDl << notDl;
    }
    void receivedNames()
    {
        QFETCH(QByteArray, message);
        QFETCH(QString, dlError);
        QFETCH(QString, processError);
        SocketPair pair;
        sendPlist(pair.peer(), message);
        sendPlist(pair.peer(), message);
        CFType received;
        QString name = QStringLiteral("untouched");
        QCOMPARE(errorOf([&] { mobiledevice_link_sc_recv_dlmessaeg(pair.ours(), received, name, CFType()); }), dlError);
        // The out arguments are written only on success.
        QCOMPARE(name == "untouched", dlError != "no error");
        QCOMPARE(received.ref() != nullptr, dlError == "no error");
        QCOMPARE(errorOf([&] { mobiledevice_link_sc_recv_process_message(pair.ours(), CFType()); }), processError);
    }

    void processMessageGivesAnIndependentCopy()
    {
        SocketPair pair;
        sendPlist(pair.peer(), "<array><string>DLMessageProcessMessage</string>"
                               "<dict><key>MessageName</key><string>Response</string></dict></array>");
        sendPlist(pair.peer(), dlMessage({"DLMessageProcessMessage"}));
        CFType whole;
        const CFType dictionary = mobiledevice_link_sc_recv_process_message(pair.ours(), CFType(), &whole);
        QCOMPARE(dictionary.value("MessageName").toString(), QStringLiteral("Response"));
        QVERIFY(dictionary.ref() != whole.at(1).ref());
        QCOMPARE(whole.arrayCount(), 2);
        // A message without its dictionary gives a wrapper without a value.
        QVERIFY(!mobiledevice_link_sc_recv_process_message(pair.ours(), CFType()).ref());
    }

    void sentProcessMessageIsBinaryAndItsCopyIndependent()
    {
        SocketPair pair;
        CFType dictionary = dictionaryWith("MessageName", "Hello");
        const CFType copy = mobiledevice_link_send_process_message(pair.ours(), dictionary);
        dictionary.setValue(CFType::fromString("MessageName"), CFType::fromString("Changed"));
        QCOMPARE(copy.at(0).toString(), QStringLiteral("DLMessageProcessMessage"));
        QCOMPARE(copy.at(1).value("MessageName").toString(), QStringLiteral("Hello"));
        const QByteArray wire = readFrame(pair.peer());
        QVERIFY(wire.startsWith("bplist00"));
        QCOMPARE(CFType::fromData(wire).at(1).value("MessageName").toString(), QStringLiteral("Hello"));
    }

    void disconnect_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("sent");
        QTest::newRow("with a text") << "Bye" << "Bye";
        QTest::newRow("empty text") << "" << "___EmptyParameterString___";
    }
    void disconnect()
    {
        QFETCH(QString, text);
        QFETCH(QString, sent);
        SocketPair pair;
        mobiledevice_link_send_disconnect(pair.ours(), text);
        pair.closeOurs();
        const QByteArray wire = readAll(pair.peer());
        QVERIFY(wire.mid(4).startsWith("bplist00"));
        const CFType message = CFType::fromData(wire.mid(4));
        QCOMPARE(message.arrayCount(), 2);
        QCOMPARE(message.at(0).toString(), QStringLiteral("DLMessageDisconnect"));
        QCOMPARE(message.at(1).toString(), sent);
    }
};

QTEST_GUILESS_MAIN(TestMobileDeviceLink)
#include "TestMobileDeviceLink.moc"
