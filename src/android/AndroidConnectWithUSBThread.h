#pragma once

#include "android/AndroidConnectThread.h"

// Makes sure the companion app is on a USB phone (installing our copy when the phone
// lists packages without it) and reads the phone's device information.
class AndroidConnectWithUSBThread : public AndroidConnectThread
{
    Q_OBJECT

public:
    AndroidConnectWithUSBThread(const QString& serial, WorkerReport* form, QObject* parent);

protected:
    void run() override;

private:
    // Returns false when the install failed and was reported.
    bool installCompanion();
    QString adviceText() const;
};
