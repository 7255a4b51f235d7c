#pragma once

#include <QString>
#include <QTime>

#include <atomic>
#include <stdexcept>

class QIODevice;

// The companion app's line protocol: a keyword ("$ready:") followed directly by its
// payload and a line feed. Lines go out as UTF-8 and come in one byte per character
// (ISO 8859-1), so texts beyond ASCII travel in Base64.
//
// Time limits are in milliseconds, -1 for none; a limit bounds each wait for data, not a
// whole line. Every wait runs in short slices and ends with CancelledException once
// *cancel is set, so a silent phone cannot hold a worker after the user cancelled.
namespace simpleprotocol {

using CancelFlag = const std::atomic<bool>*;

// The keywords, each with what follows it on its line.
namespace keyword {
// app: the session is open. Nothing follows.
inline const QString ready = QStringLiteral("$ready:");
// app, first line of a device-information session: "key=value;" pairs (model, imei, uid, ...).
inline const QString hello = QStringLiteral("$hello:");
// app: how many messages the phone holds, in decimal.
inline const QString count = QStringLiteral("$count:");
// Either way: a batch of "$sms:" lines follows; sent back empty, it acknowledges one.
inline const QString batch = QStringLiteral("$batch:");
// Either way: one message, "date ms,direction,Base64(address),Base64(text)".
inline const QString sms = QStringLiteral("$sms:");
// Either way: the batch is complete. Nothing follows.
inline const QString end = QStringLiteral("$end:");
// app: 1 when it must first ask to become the default SMS app, else 0; sent back empty
// once the person has been told to say yes.
inline const QString defaultSmsApp = QStringLiteral("$defsmsapp:");
// Either way: the session ends. Nothing follows.
inline const QString bye = QStringLiteral("$bye:");
// Either way: the sender failed; Base64 of the UTF-8 text that says why.
inline const QString error = QStringLiteral("$error:");
} // namespace keyword

// Sends "$error:" + Base64(text) to the peer, flushed, before the exception exists; when
// that send fails, the SocketDataTransferException of the send is thrown in its place.
class LocalException : public std::runtime_error
{
public:
    LocalException(QIODevice* peer, const QString& text);
};

// The peer sent "$error:"; what() is its decoded text.
class RemoteException : public std::runtime_error
{
public:
    explicit RemoteException(const QString& text);
};

// Reading or writing failed, timed out, or an empty line came ("Null command.").
class SocketDataTransferException : public std::runtime_error
{
public:
    explicit SocketDataTransferException(const QString& text);
};

// The cancel flag was set while waiting; the worker ends without a report.
class CancelledException : public std::runtime_error
{
public:
    CancelledException();
};

inline constexpr qsizetype maxLineLength = 16 * 1024 * 1024;
// How long a phone may send or take nothing within a session before it counts as
// stopped: 60 s; tests shorten it. Any thread.
int silenceLimitMs();
void setSilenceLimit(int ms);

QString readLine(QIODevice* device, int timeLimitMs, CancelFlag cancel = nullptr);
// A short reply: the whole line must come within timeLimitMs and hold at most maxLength
// characters; the failure says which bound it passed.
QString readShortLine(QIODevice* device, qsizetype maxLength, int timeLimitMs, CancelFlag cancel = nullptr);
// Raises RemoteException for "$error:" lines and "Null command." for empty ones.
QString readCommand(QIODevice* device, int timeLimitMs, CancelFlag cancel = nullptr);
// A line that does not begin with keyword raises LocalException.
QString expectReply(QIODevice* device, const QString& keyword, int timeLimitMs, CancelFlag cancel = nullptr);
void writeAll(QIODevice* device, const char* data, qint64 length, bool flush, int timeLimitMs,
              CancelFlag cancel = nullptr);
void writeString(QIODevice* device, const QString& text, bool flush, int timeLimitMs, CancelFlag cancel = nullptr);
void writeCommand(QIODevice* device, const QString& keyword, const QString& payload, bool flush, int timeLimitMs,
                  CancelFlag cancel = nullptr);
void readExact(QIODevice* device, char* buffer, qint64 length, int timeLimitMs, CancelFlag cancel = nullptr);

} // namespace simpleprotocol

// The port the app is asked to listen on for the next session: (minute mod 4 + 1) * 10000
// + second * 100 + a counter of 1..99 kept for the whole run, starting at a random value.
// Never the Wi-Fi launcher's port. Any thread.
int session_port_next();
// The same with the clock and the counter given, for tests.
int session_port_at(const QTime& now, std::atomic<int>& counter);

inline constexpr int wifiLauncherPort = 44441;

QString deviceSessionUrl(int port);
QString backupSessionUrl(int port);
QString restoreSessionUrl(int port);
