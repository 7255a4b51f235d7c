#pragma once

#include <QThread>

class WorkerReport;

// Runs the device manager at the user's request (the link of the connection tips) and
// reports what it said: as the success text when it ended well, else as the error.
class DeviceManagerThread : public QThread
{
    Q_OBJECT

public:
    DeviceManagerThread(WorkerReport* report, QObject* parent);

protected:
    void run() override;

private:
    WorkerReport* report;
};
