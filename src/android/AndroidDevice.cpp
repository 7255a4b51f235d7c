#include "android/AndroidDevice.h"

#include "android/AdbClient.h"
#include "android/AndroidCacheFolder.h"
#include "android/AndroidLog.h"

#include "frame/DataFolder.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QThread>
#include <QUrl>

#include <stdexcept>

namespace {

constexpr int sessionLimitMs = 10000;
constexpr int usbConnectLimitMs = 5000;
constexpr int usbReadyLimitMs = 5000;
// For each step with the Wi-Fi launcher (connecting, sending the URL, its whole reply).
constexpr int launcherLimitMs = 10000;
// The reply is "1", or "0" and the Base64 of a short text.
constexpr qsizetype launcherReplyLimit = 64 * 1024;
// Between two USB tries: a forwarded port the app does not serve yet accepts and closes
// at once, which would otherwise spin.
constexpr int usbRetryPauseMs = 200;
constexpr int waitSliceMs = 250;
// The forward binds the session port on this computer too, where any other program may hold it.
constexpr int forwardPortTries = 3;

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toUtf8().toStdString());
}

void checkCancel(simpleprotocol::CancelFlag cancel)
{
    if (cancel && *cancel)
        throw simpleprotocol::CancelledException();
}

// Connects in slices so that a cancel ends the wait.
bool connectSocket(QTcpSocket& socket, const QString& host, int port, int timeLimitMs,
                   simpleprotocol::CancelFlag cancel)
{
    socket.abort();
    socket.connectToHost(host, quint16(port), QIODevice::ReadWrite);
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        checkCancel(cancel);
        const qint64 left = timeLimitMs - clock.elapsed();
        if (left <= 0)
            return false;
        if (socket.waitForConnected(int(std::min<qint64>(left, waitSliceMs))))
            return true;
        if (socket.state() == QAbstractSocket::UnconnectedState)
            return false;
    }
}

// Starts the app's session and forwards its port; a port this computer cannot bind gives way
// to the next session port. Returns the URL of the session started.
QString startForwardedSession(const QString& serial, QString url)
{
    AdbClient adb;
    const QString receiver = QLatin1String(companionPackage) + QStringLiteral("/.AdbSyncBroadcastReceiver");
    for (int tries = 1;; ++tries) {
        adb.adb_am(serial, QStringLiteral("broadcast"), receiver, QString(), url, {}, QString());
        const int sessionPort = QUrl(url).port();
        try {
            adb.adb_forward(serial, sessionPort, sessionPort);
            return url;
        } catch (const std::runtime_error& error) {
            if (tries == forwardPortTries || !QString::fromUtf8(error.what()).contains(QLatin1String("cannot bind")))
                throw;
        }
        QUrl next(url);
        next.setPort(session_port_next());
        url = next.toString();
    }
}

// A reply shown in an error text: at most 60 characters, control characters as "?".
QString printable(const QString& reply)
{
    constexpr qsizetype shown = 60;
    QString text = reply.left(shown);
    for (QChar& c : text) {
        if (!c.isPrint())
            c = QLatin1Char('?');
    }
    return reply.size() > shown ? text + QStringLiteral("...") : text;
}

void pauseBeforeRetry(simpleprotocol::CancelFlag cancel)
{
    QThread::msleep(usbRetryPauseMs);
    checkCancel(cancel);
}

} // namespace

QString AndroidDevice::displayName() const
{
    QString name = manufacturer;
    if (!model.isEmpty())
        name += QLatin1Char(' ') + model;
    return name.trimmed();
}

QString AndroidDevice::id() const
{
    return isWifi ? uid : serial;
}

QDir AndroidDevice::cacheDir() const
{
    const QString folder = QStringLiteral("android_cache/") + androidCacheFolderName(imei, serial, uid);
    QDir dir(appDataDir().filePath(folder));
    dir.mkpath(QStringLiteral("."));
    return dir;
}

void AndroidDevice::parseDeviceInfo(const QString& payload)
{
    static const QRegularExpression pair(QStringLiteral("([^=;]+)=([^=;]+);?"));
    QRegularExpressionMatchIterator matches = pair.globalMatch(payload);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        const QString key = match.captured(1);
        const QString value = match.captured(2);
        if (key == QLatin1String("version"))
            version = value.toInt();
        else if (key == QLatin1String("model"))
            model = value;
        else if (key == QLatin1String("manufacturer"))
            manufacturer = value;
        else if (key == QLatin1String("imei"))
            imei = value;
        else if (key == QLatin1String("uid"))
            uid = value;
        else if (key == QLatin1String("sdk"))
            sdk = value;
        else if (key == QLatin1String("sdk_id"))
            sdk_id = value.toInt();
        else if (key == QLatin1String("root"))
            root = value.toInt() != 0;
        else if (key == QLatin1String("storage1"))
            storage1 = value;
        else if (key == QLatin1String("mmc"))
            mmc = value;
    }
}

std::unique_ptr<QTcpSocket> AndroidDevice::openSession(const QString& url, int timeLimitMs,
                                                       simpleprotocol::CancelFlag cancel) const
{
    return isWifi ? openWifiSession(url, timeLimitMs, cancel) : openUsbSession(url, timeLimitMs, cancel);
}

std::unique_ptr<QTcpSocket> AndroidDevice::openUsbSession(const QString& requestedUrl, int timeLimitMs,
                                                          simpleprotocol::CancelFlag cancel) const
{
    const QString url = startForwardedSession(serial, requestedUrl);
    const int sessionPort = QUrl(url).port();
    auto socket = std::make_unique<QTcpSocket>();
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        checkCancel(cancel);
        if (clock.elapsed() > timeLimitMs)
            fail(QStringLiteral("start %1 failed.").arg(url));
        if (!connectSocket(*socket, QStringLiteral("127.0.0.1"), sessionPort, usbConnectLimitMs, cancel)) {
            pauseBeforeRetry(cancel);
            continue;
        }
        try {
            simpleprotocol::expectReply(socket.get(), simpleprotocol::keyword::ready, usbReadyLimitMs, cancel);
            return socket;
        } catch (const simpleprotocol::SocketDataTransferException&) {
            qCDebug(lcAndroid, "connect %s failed, try again...", qPrintable(url));
        }
        pauseBeforeRetry(cancel);
    }
}

std::unique_ptr<QTcpSocket> AndroidDevice::openWifiSession(const QString& url, int timeLimitMs,
                                                           simpleprotocol::CancelFlag cancel) const
{
    QString reply;
    {
        QTcpSocket launcher;
        if (!connectSocket(launcher, host, port, launcherLimitMs, cancel))
            fail(QStringLiteral("can not connect %1:%2.").arg(host).arg(port));
        simpleprotocol::writeCommand(&launcher, url, QString(), true, launcherLimitMs, cancel);
        // A host that stays silent, or trickles its reply, must not hold the worker.
        reply = simpleprotocol::readShortLine(&launcher, launcherReplyLimit, launcherLimitMs, cancel);
        launcher.disconnectFromHost();
    }
    if (reply.isEmpty())
        fail(QStringLiteral("The phone at %1:%2 sent an empty reply.").arg(host).arg(port));
    if (reply.startsWith(QLatin1Char('0'))) {
        const QString why = QString::fromUtf8(QByteArray::fromBase64(reply.mid(1).toLatin1()));
        fail(QStringLiteral("start %1 failed.%2").arg(url, why));
    }
    const int sessionPort = QUrl(url).port();
    auto socket = std::make_unique<QTcpSocket>();
    if (!connectSocket(*socket, host, sessionPort, timeLimitMs, cancel)) {
        // Any other reply means the session listens; a garbled one is the likely cause.
        fail(QStringLiteral("The phone at %1 did not answer on port %2 for the session; its Wi-Fi launcher "
                            "replied \"%3\".")
                 .arg(host)
                 .arg(sessionPort)
                 .arg(printable(reply)));
    }
    simpleprotocol::expectReply(socket.get(), simpleprotocol::keyword::ready, timeLimitMs, cancel);
    return socket;
}

QString AndroidDevice::readDeviceInfo(simpleprotocol::CancelFlag cancel) const
{
    const std::unique_ptr<QTcpSocket> session =
        openSession(deviceSessionUrl(session_port_next()), sessionLimitMs, cancel);
    // The keyword is not checked: whatever the first line, its first 7 characters go.
    const QString payload = simpleprotocol::readCommand(session.get(), simpleprotocol::silenceLimitMs(), cancel)
                                .mid(simpleprotocol::keyword::hello.size());
    simpleprotocol::writeCommand(session.get(), simpleprotocol::keyword::bye, QString(), true,
                                 simpleprotocol::silenceLimitMs(), cancel);
    session->disconnectFromHost();
    return payload;
}

void AndroidDevice::confirmIdentity(simpleprotocol::CancelFlag cancel) const
{
    if (uid.isEmpty())
        return;
    AndroidDevice answering;
    answering.parseDeviceInfo(readDeviceInfo(cancel));
    if (answering.uid == uid)
        return;
    qCWarning(lcAndroid, "session refused: %s answered in place of %s", qUtf8Printable(answering.uid),
              qUtf8Printable(uid));
    fail(QStringLiteral("Another phone answered in place of %1; nothing was read or sent. Please try again.")
             .arg(displayName().isEmpty() ? id() : displayName()));
}
