#include "ios/backup2tool.h"

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

// stderr first, then stdout, as 8-bit text up to a first NUL.
QString outputText(QProcess& process)
{
    QByteArray bytes = process.readAllStandardError() + '\n' + process.readAllStandardOutput();
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return QString::fromLocal8Bit(bytes);
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

    QProcess process;
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

    const QString text = outputText(process);
    qCDebug(lcIos).noquote() << text;
    if (text.contains(QLatin1String("error"), Qt::CaseInsensitive))
        throw std::runtime_error(text.toStdString());
    // A tool that crashed has not made a backup, whatever it printed before.
    if (process.exitStatus() == QProcess::CrashExit)
        throw std::runtime_error(text.trimmed().isEmpty() ? std::string("AppleMobileBackup crashed")
                                                          : text.toStdString());
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
