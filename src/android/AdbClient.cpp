#include "android/AdbClient.h"

#include "android/AndroidLog.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <stdexcept>

namespace {

constexpr int startLimitMs = 10000;
constexpr int killLimitMs = 5000;

QStringList trimmedLines(const QString& text)
{
    QStringList lines;
    for (const QString& line : text.split(QLatin1Char('\n')))
        lines << line.trimmed();
    return lines;
}

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toStdString());
}

} // namespace

QString utf8UpToNul(const QByteArray& bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? bytes : bytes.left(nul));
}

void requireSuccessLine(const QString& judged)
{
    for (const QString& line : trimmedLines(judged)) {
        if (line.compare(QLatin1String("Success"), Qt::CaseInsensitive) == 0)
            return;
    }
    fail(judged);
}

QList<AdbDevice> parseAdbDevices(const QString& output)
{
    const QStringList lines = trimmedLines(output);
    QList<AdbDevice> devices;
    bool headerSeen = false;
    for (const QString& line : lines) {
        if (!headerSeen) {
            headerSeen = line.compare(QLatin1String("List of devices attached"), Qt::CaseInsensitive) == 0;
            continue;
        }
        // adb ends the serial with a tab: a serial may hold spaces, and network serials
        // ("192.168.1.5:5555") colons. The state is the first word after it.
        const qsizetype tab = line.indexOf(QLatin1Char('\t'));
        if (tab <= 0)
            continue;
        static const QRegularExpression blanks(QStringLiteral("\\s+"));
        const QStringList words = line.mid(tab + 1).split(blanks, Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        devices.append({line, line.left(tab), words.first()});
    }
    return devices;
}

void requireNoErrorLine(const QString& judged)
{
    for (const QString& line : trimmedLines(judged)) {
        if (line.toLower().startsWith(QLatin1String("error:")))
            fail(judged);
    }
}

QSet<QString> parseAdbPackages(const QString& judged)
{
    QSet<QString> packages;
    static const QLatin1String prefix("package:");
    for (const QString& line : trimmedLines(judged)) {
        if (line.startsWith(prefix))
            packages.insert(line.mid(prefix.size()).trimmed());
    }
    return packages;
}

AdbClient::AdbClient(AdbTimeLimits limits)
    : limits(limits)
{
}

bool AdbClient::isOnPath()
{
    return !QStandardPaths::findExecutable(QStringLiteral("adb")).isEmpty();
}

QString AdbClient::adb_run(const QStringList& args, bool throwOnError)
{
    return adb_run(args, throwOnError, limits.queryMs);
}

QString AdbClient::adb_run(const QStringList& args, bool throwOnError, int timeLimitMs)
{
    QProcess adb;
    adb.start(QStringLiteral("adb"), args, QIODevice::ReadWrite);
    if (!adb.waitForStarted(startLimitMs)) {
        const QString text = QStringLiteral("run adb failed.");
        if (throwOnError)
            fail(text);
        return text;
    }
    // adb reads nothing for these commands; an open stdin only keeps a child waiting.
    adb.closeWriteChannel();
    const bool ended = adb.waitForFinished(timeLimitMs);
    if (!ended && adb.state() != QProcess::NotRunning) {
        // A stuck server or a phone that stopped answering holds adb; its caller may be
        // the window closing.
        adb.kill();
        adb.waitForFinished(killLimitMs);
        qCWarning(lcAndroid, "adb %s: stopped after %d ms", qUtf8Printable(args.join(QLatin1Char(' '))), timeLimitMs);
        fail(QStringLiteral("adb did not finish within %1 seconds.").arg(timeLimitMs / 1000.0));
    }
    const QString err = utf8UpToNul(adb.readAllStandardError());
    const QString out = utf8UpToNul(adb.readAllStandardOutput());
    if (err.isEmpty())
        return out;
    if (throwOnError)
        fail(err);
    return err + QLatin1Char('\n') + out;
}

QList<AdbDevice> AdbClient::adb_devices()
{
    return parseAdbDevices(adb_run({QStringLiteral("devices")}, true));
}

void AdbClient::adb_kill_server()
{
    adb_run({QStringLiteral("kill-server")}, false);
}

void AdbClient::adb_forward(const QString& serial, int localPort, int remotePort)
{
    adb_run({QStringLiteral("-s"), serial, QStringLiteral("forward"), QStringLiteral("tcp:%1").arg(localPort),
             QStringLiteral("tcp:%1").arg(remotePort)},
            true);
}

void AdbClient::adb_am(const QString& serial, const QString& verb, const QString& component, const QString& action,
                       const QString& data, const QStringList& categories, const QString& type)
{
    QStringList args{QStringLiteral("-s"), serial, QStringLiteral("shell"), QStringLiteral("am"), verb};
    const auto addOption = [&args](const char* option, const QString& value) {
        if (!value.isEmpty())
            args << QString::fromLatin1(option) << value;
    };
    addOption("-n", component);
    addOption("-a", action);
    addOption("-d", data);
    for (const QString& category : categories)
        args << QStringLiteral("-c") << category;
    addOption("-t", type);
    requireNoErrorLine(adb_run(args, false));
}

QSet<QString> AdbClient::adb_list_packages(const QString& serial)
{
    return parseAdbPackages(
        adb_run({QStringLiteral("-s"), serial, QStringLiteral("shell"), QStringLiteral("pm"), QStringLiteral("-l")},
                false));
}

void AdbClient::adb_install(const QString& serial, const QString& path)
{
    requireSuccessLine(
        adb_run({QStringLiteral("-s"), serial, QStringLiteral("install"), path}, false, limits.packageMs));
}

QString AdbClient::adb_logcat(const QString& serial)
{
    return adb_run(
        {QStringLiteral("-s"), serial, QStringLiteral("shell"), QStringLiteral("logcat"), QStringLiteral("-d")}, false);
}

void AdbClient::adb_force_stop(const QString& serial, const QString& package)
{
    adb_run({QStringLiteral("-s"), serial, QStringLiteral("shell"), QStringLiteral("am"), QStringLiteral("force-stop"),
             package},
            false);
}

void AdbClient::adb_uninstall(const QString& serial, const QString& package)
{
    requireSuccessLine(
        adb_run({QStringLiteral("-s"), serial, QStringLiteral("uninstall"), package}, true, limits.packageMs));
}
