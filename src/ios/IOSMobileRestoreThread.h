#pragma once

#include <QDir>
#include <QThread>

#include <memory>

class IOSDevice;
class WorkerReport;
class backup2tool;

// Restores the backup in folder/<UniqueDeviceID> onto the connected phone with the backup
// tool. Deletes nothing. Ends with one success or one error; a cancel kills the tool and
// still posts success, the dialog having already ended rejected.
class IOSMobileRestoreThread : public QThread
{
    Q_OBJECT

public:
    // folder: the backup root, as IOSMobileBackupThread::backupDir gives it.
    IOSMobileRestoreThread(IOSDevice* device, const QDir& folder, WorkerReport* form, QObject* parent = nullptr);
    ~IOSMobileRestoreThread() override;

public slots:
    // GUI thread: the percentage only, so that the dialog keeps its own texts.
    void backupUpdate(double pg, QString status1, QString status2);

protected:
    void run() override;

private:
    IOSDevice* device;
    QDir root;
    WorkerReport* form;
    std::unique_ptr<backup2tool> tool;
};
