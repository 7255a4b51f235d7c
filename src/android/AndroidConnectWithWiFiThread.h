#pragma once

#include "android/AndroidConnectThread.h"

// Reads the device information of a phone the user named by its IPv4 address, through
// the app's Wi-Fi launcher.
class AndroidConnectWithWiFiThread : public AndroidConnectThread
{
    Q_OBJECT

public:
    AndroidConnectWithWiFiThread(const QString& host, WorkerReport* form, QObject* parent);

protected:
    void run() override;
};
