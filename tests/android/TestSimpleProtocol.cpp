#include "android/simpleprotocol.h"

#include "support/Cli.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTest>

#include <thread>

namespace {

// Reads from one byte string and collects what is written, like a socket seen from one
// side; waiting for more data fails at once, like a closed connection.
class ScriptedPeer : public QIODevice
{
public:
    explicit ScriptedPeer(QByteArray input, bool writable = true)
        : input(std::move(input))
        , writable(writable)
    {
        open(QIODevice::ReadWrite);
    }

    QByteArray written;

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 n = std::min<qint64>(maxSize, input.size() - position);
        memcpy(data, input.constData() + position, size_t(n));
        position += n;
        return n;
    }
    qint64 writeData(const char* data, qint64 size) override
    {
        if (!writable) {
            setErrorString(QStringLiteral("Connection reset by peer"));
            return -1;
        }
        written.append(data, size);
        return size;
    }
    bool isSequential() const override { return true; }

private:
    QByteArray input;
    bool writable;
    qint64 position = 0;
};

QByteArray pythonBytes(const QString& expression)
{
    return python(QStringLiteral("import sys,base64; sys.stdout.buffer.write(%1)").arg(expression)).out;
}

// A peer written in python on a loopback port of its own: it sends each argument in turn,
// "sleep:S" pausing S seconds instead, then stays connected and silent.
struct SlowPeer
{
    explicit SlowPeer(const QStringList& script)
    {
        process.start(QStringLiteral("python3"),
                      QStringList{QStringLiteral("-c"),
                                  QStringLiteral("import socket,sys,time\n"
                                                 "s=socket.socket(); s.bind(('127.0.0.1',0)); s.listen(1)\n"
                                                 "print(s.getsockname()[1], flush=True)\n"
                                                 "c,_=s.accept()\n"
                                                 "for p in sys.argv[1:]:\n"
                                                 "    if p.startswith('sleep:'): time.sleep(float(p[6:]))\n"
                                                 "    else: c.sendall(p.encode())\n"
                                                 "time.sleep(30)\n")}
                          + script);
        if (process.waitForReadyRead(10000))
            socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(process.readLine().trimmed().toInt()));
        socket.waitForConnected(5000);
    }
    ~SlowPeer()
    {
        process.kill();
        process.waitForFinished();
    }
    QProcess process;
    QTcpSocket socket;
};

enum class Raised { Nothing, Remote, Transfer };

} // namespace

class TestSimpleProtocol : public QObject
{
    Q_OBJECT

private slots:
    void framing_data();
    void framing();
    void wrongKeywordAnswersWithErrorLine();
    void writing();
    void overlongLineRefused();
    void sessionPorts_data();
    void sessionPorts();
    void timeLimitPerWaitNotPerLine();
    void shortLineBoundedAsAWhole_data();
    void shortLineBoundedAsAWhole();
    void cancelEndsSilentWait();
};

void TestSimpleProtocol::framing_data()
{
    QTest::addColumn<QString>("bytes"); // a python expression
    QTest::addColumn<QString>("line");
    QTest::addColumn<Raised>("raised");
    QTest::addColumn<QString>("text");

    QTest::newRow("CR LF ends the line") << "b'$ready:x\\r\\n'" << "$ready:x" << Raised::Nothing << "";
    QTest::newRow("CR inside dropped") << "b'$sms:a\\rb\\r\\n$end:\\n'" << "$sms:ab" << Raised::Nothing << "";
    QTest::newRow("one character per byte") << "'$sms:\u00fc\\n'.encode()"
                                            << QStringLiteral("$sms:") + QChar(0xC3) + QChar(0xBC) << Raised::Nothing
                                            << "";
    QTest::newRow("Base64 stays as sent") << "b'$sms:' + base64.b64encode('h\u00e9'.encode()) + b'\\n'"
                                          << "$sms:aMOp" << Raised::Nothing << "";
    QTest::newRow("CR alone is empty") << "b'\\r\\n'" << "" << Raised::Transfer << "Null command.";
    QTest::newRow("error line") << "b'$error:' + base64.b64encode('boom \u00fc'.encode()) + b'\\n'" << ""
                                << Raised::Remote << "boom \u00fc";
    QTest::newRow("error keyword is case-sensitive") << "b'$Error:eA==\\n'" << "$Error:eA==" << Raised::Nothing << "";
    QTest::newRow("connection ends inside a line") << "b'$ready:'" << "" << Raised::Transfer << "";
}

void TestSimpleProtocol::framing()
{
    QFETCH(QString, bytes);
    QFETCH(Raised, raised);
    QFETCH(QString, text);
    const QByteArray input = pythonBytes(bytes);
    QVERIFY(!input.isEmpty());
    ScriptedPeer peer(input);
    try {
        QTEST(simpleprotocol::readCommand(&peer, 1000), "line");
        QCOMPARE(raised, Raised::Nothing);
    } catch (const simpleprotocol::RemoteException& e) {
        QCOMPARE(raised, Raised::Remote);
        QCOMPARE(QString::fromUtf8(e.what()), text);
    } catch (const simpleprotocol::SocketDataTransferException& e) {
        QCOMPARE(raised, Raised::Transfer);
        if (!text.isEmpty())
            QCOMPARE(QString::fromUtf8(e.what()), text);
    }
}

void TestSimpleProtocol::wrongKeywordAnswersWithErrorLine()
{
    ScriptedPeer peer("$oops:\n");
    QVERIFY_THROWS_EXCEPTION(simpleprotocol::LocalException,
                             simpleprotocol::expectReply(&peer, QStringLiteral("$batch:"), 1000));
    QVERIFY(peer.written.startsWith("$error:"));
    QVERIFY(peer.written.endsWith("\n"));
    const CliResult decoded =
        python(QStringLiteral("import base64,sys; print(base64.b64decode(sys.argv[1]).decode(), end='')"),
               {QString::fromLatin1(peer.written.mid(7).chopped(1))});
    QCOMPARE(decoded.out, QByteArray("invalid feedback [$oops:], must be [$batch:]"));

    // When the error line cannot be sent, that failure is what the session learns.
    ScriptedPeer gone("$oops:\n", false);
    try {
        simpleprotocol::expectReply(&gone, QStringLiteral("$batch:"), 1000);
        QFAIL("a wrong keyword was accepted");
    } catch (const simpleprotocol::SocketDataTransferException& e) {
        QCOMPARE(e.what(), "Connection reset by peer");
    }

    ScriptedPeer right("$batch:more\n");
    QCOMPARE(simpleprotocol::expectReply(&right, QStringLiteral("$batch:"), 1000), QStringLiteral("$batch:more"));
    QVERIFY(right.written.isEmpty());
}

void TestSimpleProtocol::writing()
{
    ScriptedPeer peer("");
    simpleprotocol::writeAll(&peer, "x", 0, true, 1000);
    QVERIFY(peer.written.isEmpty());
    simpleprotocol::writeCommand(&peer, QStringLiteral("$sms:"), QStringLiteral("\u00fc,1"), false, 1000);
    QCOMPARE(peer.written, QByteArray("$sms:\xc3\xbc,1\n"));
}

void TestSimpleProtocol::overlongLineRefused()
{
    ScriptedPeer peer(QByteArray(simpleprotocol::maxLineLength + 1, 'a'));
    try {
        simpleprotocol::readLine(&peer, 1000);
        QFAIL("an overlong line was accepted");
    } catch (const simpleprotocol::SocketDataTransferException& e) {
        QCOMPARE(e.what(), "line too long.");
    }
}

void TestSimpleProtocol::sessionPorts_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<int>("counter");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("counterAfter");
    QTest::newRow("12:03:07, counter 99") << QTime(12, 3, 7) << 99 << 40799 << 100;
    QTest::newRow("counter 100 starts again at 1") << QTime(12, 3, 7) << 100 << 40701 << 2;
    QTest::newRow("minute 0, second 0") << QTime(9, 0, 0) << 1 << 10001 << 2;
    QTest::newRow("the launcher's port is skipped") << QTime(12, 7, 44) << 41 << 44442 << 43;
}

void TestSimpleProtocol::sessionPorts()
{
    QFETCH(QTime, time);
    QFETCH(int, counter);
    std::atomic<int> count{counter};
    QTEST(session_port_at(time, count), "port");
    QTEST(count.load(), "counterAfter");
}

void TestSimpleProtocol::timeLimitPerWaitNotPerLine()
{
    SlowPeer peer({"$ab", "sleep:0.4", "cd", "sleep:0.4", "ef\n", "sleep:3", "late\n"});
    QCOMPARE(peer.socket.state(), QAbstractSocket::ConnectedState);
    // Each pause is shorter than the limit, the whole line is not.
    QCOMPARE(simpleprotocol::readLine(&peer.socket, 700), QStringLiteral("$abcdef"));
    QVERIFY_THROWS_EXCEPTION(simpleprotocol::SocketDataTransferException, simpleprotocol::readLine(&peer.socket, 700));
}

void TestSimpleProtocol::shortLineBoundedAsAWhole_data()
{
    QTest::addColumn<QStringList>("script"); // SlowPeer's
    QTest::addColumn<QString>("result");     // the line, or the error
    QStringList trickle;
    for (int i = 0; i < 6; ++i)
        trickle << "1" << "sleep:0.3";
    QTest::newRow("in time") << QStringList{"1", "2\n"} << "12";
    QTest::newRow("a byte at a time, past the limit in all")
        << (trickle << "\n") << "The phone's reply was still incomplete after 0.7 seconds.";
    QTest::newRow("nothing") << QStringList() << "The phone sent nothing for 0.7 seconds.";
    QTest::newRow("longer than allowed") << QStringList{QString(65, 'a')}
                                         << "The phone's reply is longer than 64 bytes.";
    QTest::newRow("the longest allowed") << QStringList{QString(64, 'a') + "\n"} << QString(64, 'a');
}

void TestSimpleProtocol::shortLineBoundedAsAWhole()
{
    QFETCH(QStringList, script);
    SlowPeer peer(script);
    QCOMPARE(peer.socket.state(), QAbstractSocket::ConnectedState);
    QString result;
    try {
        result = simpleprotocol::readShortLine(&peer.socket, 64, 700);
    } catch (const simpleprotocol::SocketDataTransferException& e) {
        result = QString::fromUtf8(e.what());
    }
    QTEST(result, "result");
}

void TestSimpleProtocol::cancelEndsSilentWait()
{
    SlowPeer peer({});
    QCOMPARE(peer.socket.state(), QAbstractSocket::ConnectedState);
    std::atomic<bool> cancel{false};
    std::thread canceller([&cancel] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        cancel = true;
    });
    QElapsedTimer clock;
    clock.start();
    QVERIFY_THROWS_EXCEPTION(simpleprotocol::CancelledException,
                             simpleprotocol::readCommand(&peer.socket, -1, &cancel));
    const qint64 took = clock.elapsed();
    canceller.join();
    QVERIFY2(took < 1300, qPrintable(QString::number(took)));
}

QTEST_GUILESS_MAIN(TestSimpleProtocol)
#include "TestSimpleProtocol.moc"
