// AFC packets over a socket pair, with the phone played by a thread that answers each
// request from a list of prepared replies and keeps the requests it read.

#include "ios/CFType.h"
#include "ios/afc.h"
#include "ios/mobiledevice_library.h"

#include "AfcPhone.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <thread>

namespace {

constexpr int fixedSocket = 100;

QMap<QString, QByteArray> requestFixtures()
{
    QFile file(QStringLiteral(FIXTURES_DIR "/ios/afc_requests.hex"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QMap<QString, QByteArray> fixtures;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 2 && !line.startsWith('#'))
            fixtures.insert(QString::fromLatin1(parts[0]), QByteArray::fromHex(parts[1]));
    }
    return fixtures;
}

} // namespace

class TestAfc : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(mobiledevice_load_frameworks(error), qPrintable(error));
    }

    void requestBytes_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QByteArray>("reply");
        for (const char* name : {"read-directory", "remove-path", "make-directory", "get-file-info", "rename-path",
                                 "close-file", "lock-file", "write-file"})
            QTest::newRow(name) << name << statusReply(0);
        QTest::newRow("open-file") << "open-file" << afcPacket(afcOperationFileOpened, number(5));
        QTest::newRow("read-file") << "read-file" << afcPacket(afcOperationData, QByteArray(100, 'r'));
    }
    void requestBytes()
    {
        QFETCH(QString, operation);
        QFETCH(QByteArray, reply);
        const QByteArray expected = requestFixtures().value(operation);
        QVERIFY(!expected.isEmpty());
        SocketPair pair;
        // The packet number is the socket's number: a fixed one makes the bytes fixed.
        QCOMPARE(::dup2(pair.ours(), fixedSocket), fixedSocket);
        AfcPhone phone(pair.peer(), {reply});
        char buffer[100];
        const QMap<QString, std::function<void()>> operations{
            {"read-directory", [] { afc_read_directory(fixedSocket, "/DCIM"); }},
            {"remove-path", [] { afc_remove_path(fixedSocket, "/a.txt"); }},
            {"make-directory", [] { afc_make_directory(fixedSocket, "/New"); }},
            {"get-file-info", [] { afc_get_file_info(fixedSocket, "/a.txt"); }},
            {"open-file", [] { QCOMPARE(afc_file_open(fixedSocket, "/a.txt", 3), quint64(5)); }},
            {"read-file", [&] { QCOMPARE(afc_file_read(fixedSocket, 5, buffer, 100), qint64(100)); }},
            {"write-file", [] { QCOMPARE(afc_file_write(fixedSocket, 5, "hello", 5), qint64(5)); }},
            {"close-file", [] { afc_file_close(fixedSocket, 5); }},
            {"rename-path", [] { afc_rename_path(fixedSocket, "/a", "/b"); }},
            {"lock-file", [] { QCOMPARE(afc_file_lock(fixedSocket, 5, 2), 0); }},
        };
        QCOMPARE(errorOf(operations.value(operation)), QStringLiteral("no error"));
        ::close(fixedSocket);
        phone.join();
        QCOMPARE(phone.requests, QList<QByteArray>{expected});
    }

    void socketZeroStampsAllOnesInTheLowHalf()
    {
        QCOMPARE(afc_request_header(0, afcOperationReadDirectory, 2).packetNumber, quint64(4294967295u));
        QCOMPARE(afc_request_header(7, afcOperationReadDirectory, 2).packetNumber, quint64(7));
    }

    void readAsksInChunksUntilCountOrAnEmptyReply()
    {
        SocketPair pair;
        QByteArray content(100000, Qt::Uninitialized);
        for (int i = 0; i < content.size(); ++i)
            content[i] = char(i * 7);
        // The phone answers the first request short: the rest is asked for again.
        AfcPhone phone(pair.peer(), {afcPacket(afcOperationData, content.left(30000)),
                                     afcPacket(afcOperationData, content.mid(30000, 65536)),
                                     afcPacket(afcOperationData, content.mid(95536))});
        QByteArray buffer(100000, '\0');
        QCOMPARE(afc_file_read(pair.ours(), 9, buffer.data(), buffer.size()), qint64(100000));
        phone.join();
        QCOMPARE(buffer, content);
        QList<quint64> asked;
        for (const QByteArray& request : phone.requests)
            asked.append(field(request, 48));
        QCOMPARE(asked, (QList<quint64>{65536, 65536, 4464}));

        // An empty data reply is the end of the file.
        AfcPhone shortFile(pair.peer(), {afcPacket(afcOperationData, "abc"), afcPacket(afcOperationData, {})});
        QCOMPARE(afc_file_read(pair.ours(), 9, buffer.data(), 10), qint64(3));
        shortFile.join();
        QCOMPARE(shortFile.requests.size(), 2);
        QCOMPARE(afc_file_read(pair.ours(), 9, buffer.data(), 0), qint64(0));
    }

    // A phone that sends more than was asked for cannot write past the buffer.
    void readTakesNoMoreThanAskedFor()
    {
        SocketPair pair;
        AfcPhone phone(pair.peer(), {afcPacket(afcOperationData, QByteArray(200, 'x'))});
        QByteArray buffer(16, '\0');
        QCOMPARE(afc_file_read(pair.ours(), 9, buffer.data(), 8), qint64(8));
        QCOMPARE(buffer, QByteArray(8, 'x') + QByteArray(8, '\0'));
    }

    void writeSendsChunksEachWithItsStatus()
    {
        SocketPair pair;
        QByteArray content(70000, Qt::Uninitialized);
        for (int i = 0; i < content.size(); ++i)
            content[i] = char(i * 13);
        AfcPhone phone(pair.peer(), {statusReply(0), statusReply(0), statusReply(0)});
        QCOMPARE(afc_file_write(pair.ours(), 9, content.constData(), content.size()), qint64(70000));
        phone.join();
        QCOMPARE(phone.requests.size(), 3);
        QByteArray written;
        QList<qsizetype> chunks;
        for (const QByteArray& request : phone.requests) {
            QCOMPARE(field(request, 16), quint64(48));
            QCOMPARE(field(request, 8), quint64(request.size()));
            QCOMPARE(field(request, 32), afcOperationFileWrite);
            QCOMPARE(field(request, 40), quint64(9));
            chunks.append(request.size() - 48);
            written += request.mid(48);
        }
        QCOMPARE(chunks, (QList<qsizetype>{32768, 32768, 4464}));
        QCOMPARE(written, content);
    }

    void repliesAreParsed()
    {
        SocketPair pair;
        AfcPhone phone(pair.peer(), {afcPacket(afcOperationData, QByteArray("a\0b\0c", 5)),
                                     afcPacket(afcOperationData, nulTerminated({"st_size", "1024", "st_ifmt", "S_IFDIR",
                                                                                 "st_size", "2048", "st_nlink"})),
                                     afcPacket(afcOperationData, {}),
                                     afcPacket(afcOperationFileOpenedAlso, number(3).left(3))});
        QCOMPARE(afc_read_directory(pair.ours(), "/"), (QStringList{"a", "b"}));
        const QMap<QString, QString> info = afc_get_file_info(pair.ours(), "/x");
        QCOMPARE(info, (QMap<QString, QString>{{"st_size", "2048"}, {"st_ifmt", "S_IFDIR"}}));
        QCOMPARE(afc_file_open(pair.ours(), "/none", 1), quint64(0));
        // Bytes that are missing from a handle count as 0.
        QCOMPARE(afc_file_open(pair.ours(), "/short", 1), quint64(3));
    }

    void lockReturnsTheStatus()
    {
        SocketPair pair;
        AfcPhone phone(pair.peer(), {statusReply(0x100000007ULL)});
        QCOMPARE(afc_file_lock(pair.ours(), 9, 2), 7);
    }

    void failures_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("expected");
        QTest::newRow("status 7") << statusReply(7) << "read AFC failed, received AFC_OP_STATUS, param1=7.";
        QTest::newRow("status above 32 bits")
            << statusReply(0xFFFFFFFFFFFFFFFFULL) << "read AFC failed, received AFC_OP_STATUS, param1=18446744073709551615.";
        QTest::newRow("unknown operation")
            << afcPacket(5, number(9)) << "read AFC failed, Unknown operation code received 5, param1=9.";
        QTest::newRow("operation 0 without payload")
            << afcPacket(0, {}) << "read AFC failed, Unknown operation code received 0, param1=0.";
        QTest::newRow("short header, closed") << afcPacket(2, {}).left(39) << "read AFC header failed.";
        QTest::newRow("not AFC") << QByteArray(40, 'x') << "read AFC header failed.";
        QByteArray huge = afcPacket(afcOperationData, {});
        qToLittleEndian(quint64(0x7FFFFFF0), huge.data() + 8);
        QTest::newRow("2 GiB announced, closed") << huge << "read AFC file block data failed.";
        qToLittleEndian(quint64(0x100000030), huge.data() + 8);
        QTest::newRow("beyond 32 bits announced") << huge << "read AFC file block data failed.";
        QTest::newRow("body cut short, closed")
            << afcPacket(afcOperationData, "abcdef").left(43) << "read AFC file block data failed.";
    }
    void failures()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, expected);
        SocketPair pair;
        std::thread phone([&] {
            readExactly(pair.peer(), 43);
            writeAll(pair.peer(), reply);
            pair.closePeer();
        });
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(errorOf([&] { afc_remove_path(pair.ours(), "/x"); }), expected);
        QVERIFY(timer.elapsed() < 5000);
        phone.join();
    }

    void sendingToAClosedPeer()
    {
        SocketPair pair;
        pair.closePeer();
        QCOMPARE(errorOf([&] { afc_make_directory(pair.ours(), "/x"); }), QStringLiteral("send AFC header (9) error."));
        QCOMPARE(errorOf([&] { afc_file_write(pair.ours(), 1, "x", 1); }), QStringLiteral("send AFC header (16) error."));
    }

    void houseArrest_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("expected");
        QTest::newRow("container vended") << QByteArray("<dict><key>Status</key><string>Complete</string></dict>")
                                          << "no error";
        QTest::newRow("no such app") << QByteArray("<dict><key>Error</key><string>InstallationLookupFailed</string></dict>")
                                     << "can not find com.example.app.";
        QTest::newRow("not a property list") << QByteArray("garbage")
                                             << "house_arrest gave no readable answer for com.example.app.";
    }
    void houseArrest()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, expected);
        SocketPair pair;
        QByteArray request;
        std::thread phone([&] {
            request = readFrame(pair.peer());
            writeAll(pair.peer(), framed(reply.startsWith('<') ? plistXml(reply) : reply));
        });
        QCOMPARE(errorOf([&] { afc_house_arrest_vend_container(pair.ours(), "com.example.app"); }), expected);
        phone.join();
        QVERIFY(request.startsWith("<?xml"));
        const CFType sent = CFType::fromData(request);
        QCOMPARE(sent.dictionaryCount(), 2);
        QCOMPARE(sent.value("Command").toString(), QStringLiteral("VendContainer"));
        QCOMPARE(sent.value("Identifier").toString(), QStringLiteral("com.example.app"));
    }
};

QTEST_GUILESS_MAIN(TestAfc)
#include "TestAfc.moc"
