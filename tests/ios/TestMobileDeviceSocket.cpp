// Framed property-list messages over a socket pair, with the peer played by a thread.

#include "ios/mobiledevice_library.h"
#include "ios/mobiledevice_socket.h"

#include "PeerSocket.h"
#include "support/Cli.h"

#include <QElapsedTimer>
#include <QTest>
#include <QtEndian>

#include <atomic>
#include <chrono>
#include <csignal>
#include <stdexcept>
#include <thread>

#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

CFType request()
{
    CFType r = CFType::createDictionary();
    r.setValue(CFType::fromString("Request"), CFType::fromString("Ping"));
    return r;
}

QString receiveError(int socket, const CFType& request, int timeoutMs = 2000)
{
    try {
        mobiledevice_recmsg(socket, request, timeoutMs);
    } catch (const std::runtime_error& e) {
        return QString::fromUtf8(e.what());
    }
    return QStringLiteral("no error");
}

void ignoreSignal(int) {}

} // namespace

class TestMobileDeviceSocket : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(mobiledevice_load_frameworks(error), qPrintable(error));
    }

    void roundTrip_data()
    {
        QTest::addColumn<bool>("binary");
        QTest::newRow("XML") << false;
        QTest::newRow("binary") << true;
    }
    void roundTrip()
    {
        QFETCH(bool, binary);
        SocketPair pair;
        CFType message = CFType::createDictionary();
        message.setValue(CFType::fromString("Sources"), CFType::createArray().append(CFType::fromString("UserDatabases")));
        mobiledevice_sendmsg(pair.ours(), message, binary, 1000);
        // The same bytes come back from the peer: it reads what we sent, we read what it sent.
        pair.closeOurs();
        const QByteArray wire = readAll(pair.peer());
        QCOMPARE(qFromBigEndian<quint32>(wire.constData()), quint32(wire.size() - 4));
        QCOMPARE(wire.mid(4, 8) == "bplist00", binary);

        SocketPair back;
        writeAll(back.peer(), wire);
        const CFType received = mobiledevice_recmsg(back.ours(), CFType(), 1000);
        QCOMPARE(received.value("Sources").at(0).toString(), QStringLiteral("UserDatabases"));
    }

    void pythonsBinaryMessage()
    {
        const CliResult made = python("import plistlib,sys;sys.stdout.buffer.write(plistlib.dumps({'k':'v'},fmt=plistlib.FMT_BINARY))");
        QVERIFY(made.out.startsWith("bplist00"));
        SocketPair pair;
        writeAll(pair.peer(), framed(made.out));
        QCOMPARE(mobiledevice_recmsg(pair.ours(), CFType(), 1000).value("k").toString(), QStringLiteral("v"));
    }

    void bodyInThreePieces()
    {
        SocketPair pair;
        const QByteArray wire = framed(request().toData(kCFPropertyListXMLFormat_v1_0));
        std::thread peer([&] {
            const qsizetype third = wire.size() / 3;
            for (int i = 0; i < 3; ++i) {
                writeAll(pair.peer(), wire.mid(i * third, i == 2 ? -1 : third));
                std::this_thread::sleep_for(50ms);
            }
        });
        const CFType received = mobiledevice_recmsg(pair.ours(), CFType(), 1000);
        peer.join();
        QCOMPARE(received.value("Request").toString(), QStringLiteral("Ping"));
    }

    void noTimeoutWaitsForALatePeer()
    {
        SocketPair pair;
        std::thread peer([&] {
            writeAll(pair.peer(), framed(request().toData(kCFPropertyListBinaryFormat_v1_0)).left(4));
            std::this_thread::sleep_for(300ms);
            writeAll(pair.peer(), request().toData(kCFPropertyListBinaryFormat_v1_0));
        });
        const CFType received = mobiledevice_recmsg(pair.ours(), CFType(), 0);
        peer.join();
        QCOMPARE(received.value("Request").toString(), QStringLiteral("Ping"));
    }

    // A signal (a child process ending, say) interrupts the wait; the wait goes on.
    void interruptedWaitGoesOn()
    {
        struct sigaction action = {};
        action.sa_handler = ignoreSignal; // without SA_RESTART: poll returns EINTR
        struct sigaction previous = {};
        QVERIFY(::sigaction(SIGUSR1, &action, &previous) == 0);
        SocketPair pair;
        const pthread_t receiver = ::pthread_self();
        std::thread peer([&] {
            std::this_thread::sleep_for(100ms);
            ::pthread_kill(receiver, SIGUSR1);
            std::this_thread::sleep_for(100ms);
            writeAll(pair.peer(), "x");
        });
        const int ready = mobiledevice_wait_socket(pair.ours(), 5000, true);
        peer.join();
        ::sigaction(SIGUSR1, &previous, nullptr);
        QCOMPARE(ready, 1);
    }

    void receiveErrors_data()
    {
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<bool>("withRequest");
        QTest::addColumn<QString>("expected");
        const QString requestXml = QString::fromUtf8(request().toData(kCFPropertyListXMLFormat_v1_0));
        QTest::newRow("closed after the length")
            << QByteArray("\0\0\0\x10", 4) << true << "mobiledevice_recmsg(msg) error, received length: 0.\n" + requestXml;
        QTest::newRow("closed in the body")
            << QByteArray("\0\0\0\x10" "abc", 7) << false << "mobiledevice_recmsg(msg) error, received length: 3.";
        QTest::newRow("closed in the length")
            << QByteArray("\0\0", 2) << false << "mobiledevice_recmsg(msg-length) error, received length: 2.";
        QTest::newRow("2 GiB announced") << QByteArray("\x80\0\0\0" "abc", 7) << false
                                         << "mobiledevice_recmsg(msg) error, received length: 0.";
        QTest::newRow("just above the cap") << QByteArray("\x01\0\0\x01" "abc", 7) << false
                                            << "mobiledevice_recmsg(msg) error, received length: 0.";
    }
    void receiveErrors()
    {
        QFETCH(QByteArray, wire);
        QFETCH(bool, withRequest);
        QFETCH(QString, expected);
        SocketPair pair;
        writeAll(pair.peer(), wire);
        pair.closePeer();
        QCOMPARE(receiveError(pair.ours(), withRequest ? request() : CFType()), expected);
    }

    void errorQuotesAtMost800Characters()
    {
        CFType big = CFType::createDictionary();
        big.setValue(CFType::fromString("Padding"), CFType::fromString(QString(2000, QLatin1Char('p'))));
        SocketPair pair;
        pair.closePeer();
        const QString error = receiveError(pair.ours(), big);
        const QString head = QStringLiteral("mobiledevice_recmsg(msg-length) error, received length: 0.\n");
        QVERIFY(error.startsWith(head + "<?xml"));
        QCOMPARE(error.size(), head.size() + 800);
    }

    void emptyBodyGivesNull()
    {
        SocketPair pair;
        writeAll(pair.peer(), QByteArray(4, '\0'));
        QVERIFY(!mobiledevice_recmsg(pair.ours(), CFType(), 1000).ref());
    }

    // Without MSG_NOSIGNAL the closed peer would end this process with SIGPIPE.
    void peerThatClosedDoesNotKillTheProcess()
    {
        SocketPair pair;
        pair.closePeer();
        CFType big = CFType::createDictionary();
        big.setValue(CFType::fromString("Data"), CFType::fromByteArray(QByteArray(1 << 20, 'x')));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, mobiledevice_sendmsg(pair.ours(), big, true, 1000));
    }

    // A phone that stops reading fills the socket's buffer; the send gives up after the
    // time-out with what went out instead of blocking for ever.
    void sendToAPeerThatStopsReading()
    {
        SocketPair pair;
        const QByteArray big(8 << 20, 'x');
        QElapsedTimer timer;
        timer.start();
        const int sent = mobiledevice_send_data(pair.ours(), big.constData(), int(big.size()), 300);
        QVERIFY(sent < big.size());
        QVERIFY(timer.elapsed() < 5000);
        CFType message = CFType::createDictionary();
        message.setValue(CFType::fromString("Data"), CFType::fromByteArray(big));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, mobiledevice_sendmsg(pair.ours(), message, true, 300));
    }

    void unserialisableMessageIsAnError()
    {
        CFType dict = CFType::createDictionary();
        dict.setValue(CFType::fromInt32(1), CFType::fromString("a number is no key in a property list"));
        SocketPair pair;
        try {
            mobiledevice_sendmsg(pair.ours(), dict, false, 1000);
            QFAIL("sent");
        } catch (const std::runtime_error& e) {
            QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("mobiledevice_sendmsg(msg) error.\n"));
        }
        pair.closeOurs();
        QCOMPARE(readAll(pair.peer()), QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestMobileDeviceSocket)
#include "TestMobileDeviceSocket.moc"
