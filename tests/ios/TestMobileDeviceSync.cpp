// The mobilesync client over a socket pair, with the device played by a thread.

#include "ios/CFType.h"
#include "ios/mobiledevice_library.h"
#include "ios/mobiledevice_sync.h"

#include "PeerSocket.h"

#include <QTest>

#include <thread>

namespace {

const QString contacts = QStringLiteral("com.apple.Contacts");

QByteArray processChanges(const QByteArray& element2)
{
    return "<array><string>SDMessageProcessChanges</string><string>com.apple.Contacts</string>" + element2
        + "<false/></array>";
}

QByteArray record(const QByteArray& id)
{
    return "<dict><key>id</key><string>" + id + "</string></dict>";
}

} // namespace

class TestMobileDeviceSync : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(mobiledevice_load_frameworks(error), qPrintable(error));
    }

    void allRecords_data()
    {
        QTest::addColumn<QList<QByteArray>>("script");
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<QString>("error");
        const QByteArray ready = dlMessage({"SDMessageDeviceReadyToReceiveChanges"});
        QTest::newRow("ready at once") << QList<QByteArray>{ready} << QStringList() << "no error";
        QTest::newRow("three batches in order")
            << QList<QByteArray>{processChanges(record("a")), processChanges(record("b")), processChanges(record("c")),
                                 ready}
            << QStringList{"a", "b", "c"} << "no error";
        QTest::newRow("batch not a dictionary")
            << QList<QByteArray>{processChanges("<string>x</string>"), ready} << QStringList() << "no error";
        QTest::newRow("batch without its records")
            << QList<QByteArray>{dlMessage({"SDMessageProcessChanges", "com.apple.Contacts"}), ready} << QStringList()
            << "no error";
        const QByteArray ping = dlMessage({"DLMessagePing", "busy"});
        QTest::newRow("ping during the read")
            << QList<QByteArray>{processChanges(record("a")), ping} << QStringList()
            << "invalid feedback after send SDMessageGetAllRecordsFromDevice.\n" + ourXml(ping);
    }
    void allRecords()
    {
        QFETCH(QList<QByteArray>, script);
        QFETCH(QStringList, ids);
        QFETCH(QString, error);
        SocketPair pair;
        QList<QStringList> received;
        std::thread device([&] {
            received.append(elements(readFrame(pair.peer())));
            for (const QByteArray& message : script) {
                sendPlist(pair.peer(), message);
                if (message.contains("SDMessageProcessChanges"))
                    received.append(elements(readFrame(pair.peer())));
            }
        });
        QList<CFType> records;
        QCOMPARE(errorOf([&] { records = mobiledevice_sync_get_all_records(pair.ours(), contacts); }), error);
        device.join();
        QStringList gotIds;
        for (const CFType& r : records)
            gotIds.append(r.value("id").toString());
        QCOMPARE(gotIds, ids);
        // The request, then one acknowledgement per batch.
        const QStringList acknowledgement{"SDMessageAcknowledgeChangesFromDevice", contacts};
        QList<QStringList> expected{{"SDMessageGetAllRecordsFromDevice", contacts}};
        for (const QByteArray& message : script) {
            if (message.contains("SDMessageProcessChanges"))
                expected.append(acknowledgement);
        }
        QCOMPARE(received, expected);
    }

    void processChangesSendsFalseAndReturnsTheRemapping()
    {
        SocketPair pair;
        QByteArray sent;
        std::thread device([&] {
            sent = readFrame(pair.peer());
            sendPlist(pair.peer(), "<array><string>SDMessageRemapRecordIdentifiers</string><string>c</string>"
                                   "<dict><key>tmp1</key><string>42</string></dict></array>");
            readFrame(pair.peer());
            sendPlist(pair.peer(), dlMessage({"SDMessageRemapRecordIdentifiers"}));
            readFrame(pair.peer());
            sendPlist(pair.peer(), dlMessage({"SDMessageDeviceWillClearAllRecords"}));
        });
        CFType entities = CFType::createDictionary();
        entities.setValue(CFType::fromString("tmp1"), CFType::fromString("Ann"));
        const CFType actions = CFType::createDictionary();
        const CFType remapping = mobiledevice_sync_process_changes(pair.ours(), entities, contacts, actions);
        QCOMPARE(remapping.value("tmp1").toString(), QStringLiteral("42"));
        // A remapping message without its element 2 gives a wrapper without a value.
        QVERIFY(!mobiledevice_sync_process_changes(pair.ours(), entities, contacts, actions).ref());
        QCOMPARE(errorOf([&] { mobiledevice_sync_process_changes(pair.ours(), entities, contacts, actions); }),
                 "invalid feedback after send SDMessageProcessChanges.\n"
                     + ourXml(dlMessage({"SDMessageDeviceWillClearAllRecords"})));
        device.join();
        QCOMPARE(elements(sent), (QStringList{"SDMessageProcessChanges", contacts, "dict", "0", "dict"}));
        QVERIFY(CFType::fromData(sent).at(3).isBoolean());
    }

    void clearAndFinish()
    {
        SocketPair pair;
        QList<QStringList> sent;
        std::thread device([&] {
            sent.append(elements(readFrame(pair.peer())));
            sendPlist(pair.peer(), dlMessage({"SDMessageDeviceWillClearAllRecords"}));
            sent.append(elements(readFrame(pair.peer())));
            sendPlist(pair.peer(), dlMessage({"SDMessageRemapRecordIdentifiers"}));
            sent.append(elements(readFrame(pair.peer())));
            sendPlist(pair.peer(), "<dict><key>anything</key><true/></dict>");
        });
        mobiledevice_sync_clear_all_records(pair.ours(), contacts);
        QCOMPARE(errorOf([&] { mobiledevice_sync_clear_all_records(pair.ours(), contacts); }),
                 "invalid feedback after send SDMessageClearAllRecordsOnDevice.\n"
                     + ourXml(dlMessage({"SDMessageRemapRecordIdentifiers"})));
        // Whatever the device answers the finish with is not examined.
        mobiledevice_sync_finish_session(pair.ours(), contacts);
        device.join();
        const QStringList clear{"SDMessageClearAllRecordsOnDevice", contacts, "___EmptyParameterString___"};
        QCOMPARE(sent, (QList<QStringList>{clear, clear, {"SDMessageFinishSessionOnDevice", contacts}}));
    }

    // A device that keeps sending batches cannot fill the memory: the read ends with an error.
    // At a small bound: the program's 256 MiB would take minutes to send under the sanitizers.
    void recordsAreBounded()
    {
        constexpr qint64 bound = 4 * 1024 * 1024;
        CFType batch = CFType::createArray();
        batch.append(CFType::fromString("SDMessageProcessChanges")).append(CFType::fromString(contacts));
        CFType records = CFType::createDictionary();
        records.setValue(CFType::fromString("blob"), CFType::fromByteArray(QByteArray(192 * 1024, 'r')));
        batch.append(records);
        const QByteArray wire = framed(batch.toData(kCFPropertyListBinaryFormat_v1_0));
        SocketPair pair;
        int acknowledged = 0;
        std::thread device([&] {
            readFrame(pair.peer());
            for (;;) {
                writeAll(pair.peer(), wire);
                if (readFrame(pair.peer()).isEmpty())
                    return;
                ++acknowledged;
            }
        });
        QCOMPARE(errorOf([&] { mobiledevice_sync_get_all_records(pair.ours(), contacts, bound); }),
                 QStringLiteral("mobiledevice_sync_get_all_records: the device sent more than 4 MiB of records."));
        pair.closeOurs();
        device.join();
        // 192 KiB in XML (Base64) is 256 KiB and more: the 16th batch passes the bound.
        QCOMPARE(acknowledged, 15);
    }
};

QTEST_GUILESS_MAIN(TestMobileDeviceSync)
#include "TestMobileDeviceSync.moc"
