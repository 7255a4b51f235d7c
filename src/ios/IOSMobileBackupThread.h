#pragma once

#include <QDir>
#include <QThread>

#include <memory>

class IOSDevice;
class WorkerReport;
class backup2tool;

// Backs a connected phone up with the backup tool into its folder below the temporary
// backup root. An earlier backup of the same phone and iOS version that completed stays
// and is updated; any other is deleted first, and so is the folder of a failed backup.
// Ends with one success or one error; a cancel kills the tool and still posts success,
// the dialog having already ended rejected. The device and the form belong to the caller.
class IOSMobileBackupThread : public QThread
{
    Q_OBJECT

public:
    IOSMobileBackupThread(IOSDevice* device, WorkerReport* form, QObject* parent = nullptr);
    ~IOSMobileBackupThread() override;

    // The backup root; the backup lies in its subfolder named by the phone's UniqueDeviceID.
    QDir backupDir() const;

public slots:
    // GUI thread: the percentage only, so that the dialog keeps its own texts.
    void backupUpdate(double pg, QString status1, QString status2);

protected:
    void run() override;

private:
    IOSDevice* device;
    WorkerReport* form;
    QDir root;
    std::unique_ptr<backup2tool> tool;
};
