#include "android/simpleprotocol.h"

#include <QAbstractSocket>
#include <QElapsedTimer>
#include <QIODevice>
#include <QRandomGenerator>

#include <algorithm>

namespace simpleprotocol {

namespace {

// Short enough that a cancel is noticed well within a second.
constexpr int waitSliceMs = 250;
// The error line of a LocalException is small; a peer that takes none of it for this
// long is gone.
constexpr int errorLineLimitMs = 10000;
std::atomic<int> silenceLimit{60000};

enum class WaitFor { Readable, Written };

// Returns once the device has something to read (or has written some bytes); raises on
// a closed or broken connection, on the time limit (with timeoutText when given) and on a
// cancel.
void waitOn(QIODevice* device, WaitFor what, int timeLimitMs, CancelFlag cancel, const QString& timeoutText = {})
{
    auto* socket = qobject_cast<QAbstractSocket*>(device);
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (cancel && *cancel)
            throw CancelledException();
        int slice = waitSliceMs;
        if (timeLimitMs >= 0) {
            const qint64 left = timeLimitMs - clock.elapsed();
            if (left <= 0 && !timeoutText.isEmpty())
                throw SocketDataTransferException(timeoutText);
            if (left <= 0)
                throw SocketDataTransferException((what == WaitFor::Readable
                                                       ? QStringLiteral("The phone sent nothing for %1 seconds.")
                                                       : QStringLiteral("The phone took nothing for %1 seconds."))
                                                      .arg(timeLimitMs / 1000.0));
            slice = int(std::min<qint64>(slice, left));
        }
        const bool ready =
            what == WaitFor::Readable ? device->waitForReadyRead(slice) : device->waitForBytesWritten(slice);
        if (ready)
            return;
        const bool onlySliceOver = socket && socket->state() == QAbstractSocket::ConnectedState
                                   && socket->error() == QAbstractSocket::SocketTimeoutError;
        if (!onlySliceOver)
            throw SocketDataTransferException(device->errorString());
    }
}

void flushAll(QIODevice* device, int timeLimitMs, CancelFlag cancel)
{
    auto* socket = qobject_cast<QAbstractSocket*>(device);
    if (!socket)
        return;
    while (socket->bytesToWrite() > 0)
        waitOn(device, WaitFor::Written, timeLimitMs, cancel);
}

std::string utf8(const QString& text)
{
    return text.toUtf8().toStdString();
}

} // namespace

LocalException::LocalException(QIODevice* peer, const QString& text)
    : std::runtime_error(utf8(text))
{
    writeCommand(peer, keyword::error, QString::fromLatin1(text.toUtf8().toBase64()), true, errorLineLimitMs);
}

RemoteException::RemoteException(const QString& text)
    : std::runtime_error(utf8(text))
{
}

SocketDataTransferException::SocketDataTransferException(const QString& text)
    : std::runtime_error(utf8(text))
{
}

CancelledException::CancelledException()
    : std::runtime_error("Cancelled.")
{
}

int silenceLimitMs()
{
    return silenceLimit;
}

void setSilenceLimit(int ms)
{
    silenceLimit = ms;
}

QString readLine(QIODevice* device, int timeLimitMs, CancelFlag cancel)
{
    QString line;
    for (;;) {
        char c = 0;
        if (!device->getChar(&c)) {
            waitOn(device, WaitFor::Readable, timeLimitMs, cancel);
            continue;
        }
        if (c == '\n')
            return line;
        if (c == '\r')
            continue;
        if (line.size() >= maxLineLength)
            throw SocketDataTransferException(QStringLiteral("line too long."));
        line.append(QChar(uchar(c)));
    }
}

QString readShortLine(QIODevice* device, qsizetype maxLength, int timeLimitMs, CancelFlag cancel)
{
    QElapsedTimer clock;
    clock.start();
    QString line;
    for (;;) {
        char c = 0;
        if (!device->getChar(&c)) {
            const QString timeoutText =
                line.isEmpty() ? QStringLiteral("The phone sent nothing for %1 seconds.")
                               : QStringLiteral("The phone's reply was still incomplete after %1 seconds.");
            waitOn(device, WaitFor::Readable, int(std::max<qint64>(0, timeLimitMs - clock.elapsed())), cancel,
                   timeoutText.arg(timeLimitMs / 1000.0));
            continue;
        }
        if (c == '\n')
            return line;
        if (c == '\r')
            continue;
        if (line.size() >= maxLength)
            throw SocketDataTransferException(
                QStringLiteral("The phone's reply is longer than %1 bytes.").arg(maxLength));
        line.append(QChar(uchar(c)));
    }
}

QString readCommand(QIODevice* device, int timeLimitMs, CancelFlag cancel)
{
    const QString line = readLine(device, timeLimitMs, cancel);
    if (line.isEmpty())
        throw SocketDataTransferException(QStringLiteral("Null command."));
    if (line.startsWith(keyword::error))
        throw RemoteException(QString::fromUtf8(QByteArray::fromBase64(line.mid(keyword::error.size()).toLatin1())));
    return line;
}

QString expectReply(QIODevice* device, const QString& keyword, int timeLimitMs, CancelFlag cancel)
{
    const QString line = readCommand(device, timeLimitMs, cancel);
    if (!line.startsWith(keyword))
        throw LocalException(device, QStringLiteral("invalid feedback [%1], must be [%2]").arg(line, keyword));
    return line;
}

void writeAll(QIODevice* device, const char* data, qint64 length, bool flush, int timeLimitMs, CancelFlag cancel)
{
    if (length <= 0)
        return;
    for (qint64 done = 0; done < length;) {
        const qint64 written = device->write(data + done, length - done);
        if (written < 0)
            throw SocketDataTransferException(device->errorString());
        if (written == 0)
            waitOn(device, WaitFor::Written, timeLimitMs, cancel);
        done += written;
    }
    if (flush)
        flushAll(device, timeLimitMs, cancel);
}

void writeString(QIODevice* device, const QString& text, bool flush, int timeLimitMs, CancelFlag cancel)
{
    const QByteArray bytes = text.toUtf8();
    writeAll(device, bytes.constData(), bytes.size(), flush, timeLimitMs, cancel);
}

void writeCommand(QIODevice* device, const QString& keyword, const QString& payload, bool flush, int timeLimitMs,
                  CancelFlag cancel)
{
    writeString(device, keyword + payload + QLatin1Char('\n'), flush, timeLimitMs, cancel);
}

void readExact(QIODevice* device, char* buffer, qint64 length, int timeLimitMs, CancelFlag cancel)
{
    for (qint64 done = 0; done < length;) {
        const qint64 got = device->read(buffer + done, length - done);
        if (got < 0)
            throw SocketDataTransferException(device->errorString());
        if (got == 0)
            waitOn(device, WaitFor::Readable, timeLimitMs, cancel);
        done += got;
    }
}

} // namespace simpleprotocol

int session_port_at(const QTime& now, std::atomic<int>& counter)
{
    for (;;) {
        int current = counter.load();
        const int used = current % 100 == 0 ? 1 : current;
        if (!counter.compare_exchange_weak(current, used + 1))
            continue;
        const int port = (now.minute() % 4 + 1) * 10000 + now.second() * 100 + used;
        if (port != wifiLauncherPort)
            return port;
    }
}

int session_port_next()
{
    // A random start, so that two processes opening sessions in the same second (the
    // window and msgtool, two windows) ask for different ports.
    static std::atomic<int> counter{int(QRandomGenerator::system()->bounded(1, 100))};
    return session_port_at(QTime::currentTime(), counter);
}

namespace {
QString sessionUrl(const char* scheme, int port)
{
    return QStringLiteral("%1://127.0.0.1:%2").arg(QLatin1String(scheme)).arg(port);
}
} // namespace

QString deviceSessionUrl(int port)
{
    return sessionUrl("device2", port);
}

QString backupSessionUrl(int port)
{
    return sessionUrl("backup2", port);
}

QString restoreSessionUrl(int port)
{
    return sessionUrl("restore2", port);
}
