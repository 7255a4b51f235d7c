#pragma once

#include <QDir>
#include <QObject>
#include <QString>

#include <atomic>

// The name of the backup tool's program, in "<common program files>/Apple/Mobile Device Support".
inline constexpr char backupToolName[] = "AppleMobileBackup";

enum backup2tool_op { backup2tool_backup = 0, backup2tool_restore = 1 };

// Runs the backup tool as a child process to back one phone up into root/<UDID>, or to
// restore that folder onto it. run() blocks its (worker) thread; cancel() may come from
// any thread and kills the tool within one polling interval.
class backup2tool : public QObject
{
    Q_OBJECT

public:
    backup2tool(void* device, const QString& uniqueDeviceId, const QDir& root, QObject* parent = nullptr);

    // Returns when the tool exited with 0 and without "error" in its output, or right after
    // a cancel, the tool then gone. Throws std::runtime_error with the tool's output
    // otherwise (its first and last 64 KiB of each stream), or with "unknown
    // backup2tool_op." before anything starts.
    void run(int operation);
    // The run also takes this flag, when it is set, for a cancel: the worker's report
    // raises it when the user cancels. The flag must outlive the runs.
    void watchCancelFlag(const std::atomic<bool>* flag);

signals:
    // pg: 0 to 99, from the elapsed time against an estimate; status1 is always empty;
    // status2: "%1 seconds passed".
    void update(double pg, QString status1, QString status2);

public slots:
    void cancel();

private:
    qint64 estimateFromDiskUsage() const;
    bool cancelRequested() const;

    void* device;
    QString uniqueDeviceId;
    QDir root;
    double progress = 0;
    std::atomic<bool> cancelled{false};
    const std::atomic<bool>* outsideCancel = nullptr;
};

// The duration the tool is expected to take, in whole seconds: 0.03 s per used megabyte,
// or 60 when the phone reports no usage; never below 1.
qint64 backupEstimateSeconds(qint64 usedMegabytes);
// The percentage shown after elapsed seconds, at most 99.
double backupProgress(qint64 elapsedSeconds, qint64 estimateSeconds);
// Bytes free to this user on the volume holding the folder; -1 when unknown.
qint64 disk_free_bytes(const QDir& folder);
