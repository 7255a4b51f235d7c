#include "ios/backup2tool.h"

#include "ios/BoundedOutput.h"
#include "ios/CommonProgramFiles.h"
#include "ios/IosLog.h"
#include "ios/mobiledevice_session.h"

#include <QDateTime>
#include <QProcess>
#include <QStorageInfo>

#include <algorithm>
#include <stdexcept>

namespace {

constexpr qint64 defaultEstimateSeconds = 60;
constexpr int startLimitMs = 60000;
constexpr int pollMs = 200;

QString toolPath()
{
    return commonProgramFilesFolder() + QStringLiteral("/Apple/Mobile Device Support/") + QLatin1String(backupToolName);
}

// The tool's output as shown and thrown: stderr first, then stdout, as 8-bit text up to a
// first NUL.
QString displayText(const QByteArray& output)
{
    const qsizetype nul = output.indexOf('\0');
    return QString::fromLocal8Bit(nul >= 0 ? output.left(nul) : output);
}

// Why a tool that has ended did not do its work; empty when it did. The exit status
// decides first, then "error" anywhere in the output, a NUL notwithstanding.
QString failureText(const QProcess& process, const QByteArray& output)
{
    const QString shown = displayText(output);
    const bool printedNothing = shown.trimmed().isEmpty();
    // A tool that crashed has not made a backup, whatever it printed before.
    if (process.exitStatus() == QProcess::CrashExit)
        return printedNothing ? QStringLiteral("AppleMobileBackup crashed") : shown;
    if (process.exitCode() != 0)
        return printedNothing ? QStringLiteral("AppleMobileBackup failed (exit %1)").arg(process.exitCode()) : shown;
    if (output.toLower().contains("error"))
        return printedNothing ? QStringLiteral("AppleMobileBackup failed") : shown;
    return QString();
}

void stop(QProcess& process)
{
    process.kill();
    process.waitForFinished(-1);
}

} // namespace

backup2tool::backup2tool(void* device, const QString& uniqueDeviceId, const QDir& root, QObject* parent)
    : QObject(parent)
    , device(device)
    , uniqueDeviceId(uniqueDeviceId)
    , root(root)
{
}

void backup2tool::cancel()
{
    cancelled = true;
}

void backup2tool::watchCancelFlag(const std::atomic<bool>* flag)
{
    outsideCancel = flag;
}

bool backup2tool::cancelRequested() const
{
    return cancelled || (outsideCancel && *outsideCancel);
}

qint64 backup2tool::estimateFromDiskUsage() const
{
    try {
        const QList<CFType> values =
            mobiledevice_copy_values(device, {QString()}, QStringLiteral("com.apple.disk_usage"));
        if (values.isEmpty())
            return defaultEstimateSeconds;
        const CFType& usage = values.first();
        const qint64 used = usage.value(QStringLiteral("TotalDataCapacity")).toLongLong(0)
                            - usage.value(QStringLiteral("AmountDataAvailable")).toLongLong(0);
        return backupEstimateSeconds(used / 1024 / 1024);
    } catch (const std::exception& e) {
        qCDebug(lcIos) << "backup tool: no disk usage:" << e.what();
        return defaultEstimateSeconds;
    }
}

void backup2tool::run(int operation)
{
    progress = 0;
    cancelled = false;
    const qint64 estimate = estimateFromDiskUsage();

    const QString rootPath = QDir::toNativeSeparators(root.absolutePath());
    QStringList args{QStringLiteral("-u"), uniqueDeviceId};
    if (operation == backup2tool_backup)
        args << QStringLiteral("--backup") << QStringLiteral("--target") << uniqueDeviceId << QStringLiteral("--root")
             << rootPath;
    else if (operation == backup2tool_restore)
        args << QStringLiteral("--restore") << QStringLiteral("--target") << uniqueDeviceId << QStringLiteral("--root")
             << rootPath << QStringLiteral("--source") << uniqueDeviceId;
    else
        throw std::runtime_error("unknown backup2tool_op.");

    // Read as it comes, so that a tool printing without end holds no more than the
    // bounded copies in memory.
    QProcess process;
    BoundedOutput standardError;
    BoundedOutput standardOutput;
    connect(&process, &QProcess::readyReadStandardError, &process,
            [&] { standardError.append(process.readAllStandardError()); });
    connect(&process, &QProcess::readyReadStandardOutput, &process,
            [&] { standardOutput.append(process.readAllStandardOutput()); });
    process.start(toolPath(), args, QIODevice::ReadOnly);
    if (!process.waitForStarted(startLimitMs))
        throw std::runtime_error("can not start AppleMobileBackup process.");
    const qint64 start = QDateTime::currentSecsSinceEpoch();
    if (cancelRequested()) {
        stop(process);
        return;
    }
    while (!process.waitForFinished(pollMs)) {
        if (process.state() == QProcess::NotRunning)
            break;
        progress = backupProgress(QDateTime::currentSecsSinceEpoch() - start, estimate);
        emit update(progress, QString(),
                    QStringLiteral("%1 seconds passed").arg(QDateTime::currentMSecsSinceEpoch() / 1000 - start));
        if (cancelRequested()) {
            stop(process);
            return;
        }
    }
    standardError.append(process.readAllStandardError());
    standardOutput.append(process.readAllStandardOutput());

    const QByteArray output = standardError.bytes() + '\n' + standardOutput.bytes();
    qCDebug(lcIos).noquote() << "backup tool exit" << process.exitCode() << "output:" << displayText(output);
    const QString failure = failureText(process, output);
    if (!failure.isEmpty())
        throw std::runtime_error(failure.toStdString());
}

qint64 backupEstimateSeconds(qint64 usedMegabytes)
{
    if (usedMegabytes <= 0)
        return defaultEstimateSeconds;
    // From 1 to 33 megabytes the estimate would be 0 s, and the progress a division by 0.
    return std::max<qint64>(1, qint64(usedMegabytes * 0.03));
}

double backupProgress(qint64 elapsedSeconds, qint64 estimateSeconds)
{
    return std::min(99.0, double(elapsedSeconds) / double(std::max<qint64>(1, estimateSeconds)) * 99);
}

qint64 disk_free_bytes(const QDir& folder)
{
    const QStorageInfo storage(folder.absolutePath());
    return storage.isValid() ? storage.bytesAvailable() : -1;
}
