// The mobilebackup2 client over a socket pair, with the device played by a thread.

#include "ios/mobiledevice_backup2.h"
#include "ios/mobiledevice_library.h"

#include "PeerSocket.h"
#include "support/Cli.h"

#include <QTemporaryDir>
#include <QTest>

#include <thread>

namespace {

QByteArray processMessage(const QByteArray& dictionary)
{
    return "<array><string>DLMessageProcessMessage</string>" + dictionary + "</array>";
}

QByteArray response(const QByteArray& keys)
{
    return processMessage("<dict><key>MessageName</key><string>Response</string>" + keys + "</dict>");
}

QStringList keyTexts(const CFType& dictionary)
{
    QStringList texts;
    for (const CFType& key : dictionary.keys())
        texts.append(key.toString());
    return texts;
}

// The dictionary of one binary process message the client sent.
CFType sentDictionary(const QByteArray& wire)
{
    if (!wire.startsWith("bplist00"))
        return {};
    const CFType message = CFType::fromData(wire);
    if (message.at(0).toString() != QLatin1String("DLMessageProcessMessage"))
        return {};
    return CFType::deepCopy(message.at(1));
}

} // namespace

class TestMobileDeviceBackup2 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(mobiledevice_load_frameworks(error), qPrintable(error));
    }

    void hello_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("expected");
        QTest::newRow("chosen version") << 2 << response("<key>ErrorCode</key><integer>0</integer>"
                                                         "<key>ProtocolVersion</key><real>2.1</real>")
                                        << "2.1";
        QTest::newRow("no count, no error code, no version") << 0 << response({}) << "0";
        QTest::newRow("count above 127 offers none") << 200 << response({}) << "0";
        QTest::newRow("no common version") << 2 << response("<key>ErrorCode</key><integer>1</integer>")
                                           << "mobiledevice_backup2_version_exchange: MOBILEBACKUP2_E_NO_COMMON_VERSION";
        QTest::newRow("another error") << 2 << response("<key>ErrorCode</key><integer>2</integer>")
                                       << "mobiledevice_backup2_version_exchange: MOBILEBACKUP2_E_REPLY_NOT_OK";
        const QByteArray lowerCase =
            processMessage("<dict><key>MessageName</key><string>response</string></dict>");
        QTest::newRow("name in another case")
            << 2 << lowerCase
            << "Did not receive a message(\"Message Name\" is \"Response\").\n"
                   + ourXml(lowerCase);
        QTest::newRow("not a process message") << 2 << dlMessage({"DLMessagePing"})
                                               << "Did not receive DLMessageProcessMessage as expected.";
    }
    void hello()
    {
        QFETCH(int, count);
        QFETCH(QByteArray, reply);
        QFETCH(QString, expected);
        SocketPair pair;
        QByteArray hello;
        std::thread device([&] {
            hello = readFrame(pair.peer());
            sendPlist(pair.peer(), reply);
        });
        const double versions[] = {2.0, 2.1};
        double chosen = -1;
        const QString error = errorOf([&] {
            chosen = mobiledevice_backup2_version_exchange(pair.ours(), versions, qint8(count));
        });
        device.join();
        QCOMPARE(error == "no error" ? QString::number(chosen) : error, expected);
        const CFType sent = sentDictionary(hello);
        QCOMPARE(keyTexts(sent), (QStringList{"SupportedProtocolVersions", "MessageName"}));
        QCOMPARE(sent.value("MessageName").toString(), QStringLiteral("Hello"));
        const CFType offered = sent.value("SupportedProtocolVersions");
        QVERIFY(offered.isArray());
        QCOMPARE(offered.arrayCount(), count == 2 ? 2 : 0);
        if (count == 2)
            QCOMPARE(offered.at(1).toDouble(), 2.1);
    }

    void requests_data()
    {
        QTest::addColumn<QString>("request");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QByteArray>("options");
        QTest::addColumn<QStringList>("keys");
        const QByteArray password = "<dict><key>Password</key><string>secret</string></dict>";
        QTest::newRow("unback with password")
            << "Unback" << "T" << "S" << password
            << QStringList{"TargetIdentifier", "SourceIdentifier", "Options", "Password", "MessageName"};
        QTest::newRow("unback, options without password")
            << "Unback" << "T" << "S" << QByteArray("<dict><key>Other</key><true/></dict>")
            << QStringList{"TargetIdentifier", "SourceIdentifier", "Options", "MessageName"};
        QTest::newRow("unback without options") << "Unback" << "T" << "S" << QByteArray()
                                                << QStringList{"TargetIdentifier", "SourceIdentifier", "MessageName"};
        QTest::newRow("password belongs to Unback only")
            << "Restore" << "T" << "S" << password
            << QStringList{"TargetIdentifier", "SourceIdentifier", "Options", "MessageName"};
        QTest::newRow("empty source, empty target") << "Info" << "" << "" << QByteArray()
                                                    << QStringList{"TargetIdentifier", "MessageName"};
        QTest::newRow("name compared exactly")
            << "unback" << "T" << "S" << password
            << QStringList{"TargetIdentifier", "SourceIdentifier", "Options", "MessageName"};
    }
    void requests()
    {
        QFETCH(QString, request);
        QFETCH(QString, target);
        QFETCH(QString, source);
        QFETCH(QByteArray, options);
        QFETCH(QStringList, keys);
        SocketPair pair;
        const CFType optionValue = options.isEmpty() ? CFType() : CFType::fromData(plistXml(options));
        const CFType copy = mobiledevice_backup2_send_request(pair.ours(), request, target, source, optionValue);
        const CFType sent = sentDictionary(readFrame(pair.peer()));
        QCOMPARE(keyTexts(sent), keys);
        QCOMPARE(keyTexts(copy.at(1)), keys);
        QCOMPARE(sent.value("MessageName").toString(), request);
        QCOMPARE(sent.value("TargetIdentifier").toString(), target);
        if (keys.contains("Password"))
            QCOMPARE(sent.value("Password").toString(), QStringLiteral("secret"));
    }

    void backupRequest()
    {
        SocketPair pair;
        mobiledevice_backup2_request_backup(pair.ours(), "UDID1", false);
        const CFType incremental = sentDictionary(readFrame(pair.peer()));
        QCOMPARE(keyTexts(incremental), (QStringList{"TargetIdentifier", "SourceIdentifier", "MessageName"}));
        QCOMPARE(incremental.value("SourceIdentifier").toString(), QStringLiteral("UDID1"));

        mobiledevice_backup2_request_backup(pair.ours(), "UDID1", true);
        const QByteArray full = readFrame(pair.peer());
        // Decoded by a parser that is not ours, with its key order.
        QTemporaryDir dir;
        QFile file(dir.filePath("backup.bplist"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(full);
        file.close();
        const CliResult decoded = python("import plistlib,sys;m=plistlib.load(open(sys.argv[1],'rb'));"
                                         "print(m[0]);print(list(m[1].items()))",
                                         {file.fileName()});
        QCOMPARE(decoded.out, QByteArray("DLMessageProcessMessage\n"
                                         "[('TargetIdentifier', 'UDID1'), ('SourceIdentifier', 'UDID1'), "
                                         "('Options', {'ForceFullBackup': True}), ('MessageName', 'Backup')]\n"));
    }

    void cloudBackup_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("expected");
        QTest::newRow("accepted") << response("<key>ErrorCode</key><integer>0</integer>") << "no error";
        QTest::newRow("refused") << response("<key>ErrorCode</key><integer>5</integer>")
                                 << "Set EnableCloudBackup error code: 5";
    }
    void cloudBackup()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, expected);
        SocketPair pair;
        QByteArray request;
        std::thread device([&] {
            request = readFrame(pair.peer());
            sendPlist(pair.peer(), reply);
        });
        QCOMPARE(errorOf([&] { mobiledevice_backup2_set_cloud_backup(pair.ours(), "UDID1", true); }), expected);
        device.join();
        const CFType sent = sentDictionary(request);
        QCOMPARE(keyTexts(sent), (QStringList{"TargetIdentifier", "SourceIdentifier", "Options", "CloudBackupState",
                                              "MessageName"}));
        QCOMPARE(sent.value("MessageName").toString(), QStringLiteral("EnableCloudBackup"));
        QVERIFY(sent.value("CloudBackupState").toBool(false));
        QVERIFY(sent.value("Options").value("CloudBackupState").toBool(false));
    }

    void responseOutputs()
    {
        SocketPair pair;
        sendPlist(pair.peer(), response("<key>ErrorCode</key><integer>3</integer><key>Extra</key><string>x</string>"));
        int errorCode = -1;
        CFType whole;
        const CFType dictionary = mobiledevice_backup2_receive_response(pair.ours(), &errorCode, CFType(), &whole);
        QCOMPARE(errorCode, 3);
        QCOMPARE(dictionary.value("Extra").toString(), QStringLiteral("x"));
        QCOMPARE(whole.at(0).toString(), QStringLiteral("DLMessageProcessMessage"));
    }

    void statusResponse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("withValue");
        QTest::addColumn<QString>("element2");
        QTest::addColumn<QString>("element3");
        QTest::newRow("empty text, no value")
            << "" << false << "___EmptyParameterString___" << "___EmptyParameterString___";
        QTest::newRow("text and value") << "Done" << true << "Done" << "value";
    }
    void statusResponse()
    {
        QFETCH(QString, text);
        QFETCH(bool, withValue);
        QFETCH(QString, element2);
        QFETCH(QString, element3);
        SocketPair pair;
        const CFType copy = mobiledevice_backup2_send_status_response(
            pair.ours(), -4, text, withValue ? CFType::fromString("value") : CFType());
        const QByteArray wire = readFrame(pair.peer());
        QVERIFY(wire.startsWith("bplist00"));
        const CFType sent = CFType::fromData(wire);
        QCOMPARE(sent.arrayCount(), 4);
        QCOMPARE(sent.at(0).toString(), QStringLiteral("DLMessageStatusResponse"));
        QCOMPARE(sent.at(1).toInt(0), -4);
        QCOMPARE(sent.at(2).toString(), element2);
        QCOMPARE(sent.at(3).toString(), element3);
        QCOMPARE(copy.at(3).toString(), element3);
    }

    void sendMessageLeavesTheNameInTheCallersDictionary()
    {
        SocketPair pair;
        CFType dictionary = CFType::createDictionary();
        mobiledevice_backup2_send_message(pair.ours(), "Info", dictionary);
        QCOMPARE(dictionary.value("MessageName").toString(), QStringLiteral("Info"));
    }

    void receiveMessagePassesAnyDlMessage()
    {
        SocketPair pair;
        sendPlist(pair.peer(), dlMessage({"DLMessageDownloadFiles"}));
        sendPlist(pair.peer(), dlMessage({"Backup"}));
        CFType message;
        QString name;
        mobiledevice_backup2_receive_message(pair.ours(), message, name);
        QCOMPARE(name, QStringLiteral("DLMessageDownloadFiles"));
        QCOMPARE(errorOf([&] { mobiledevice_backup2_receive_message(pair.ours(), message, name); }),
                 QStringLiteral("Did not receive a DL* message as expected."));
    }
};

QTEST_GUILESS_MAIN(TestMobileDeviceBackup2)
#include "TestMobileDeviceBackup2.moc"
