#pragma once

#include "android/AndroidDevice.h"

#include <QThread>

class WorkerReport;

// What both connection threads share: the record they fill and the device-information
// exchange that ends them. Each reports only through its WorkerReport.
class AndroidConnectThread : public QThread
{
    Q_OBJECT

public:
    // GUI thread, after the thread ended and its dialog was accepted.
    const AndroidDevice& device() const;

protected:
    AndroidConnectThread(const AndroidDevice& device, WorkerReport* form, QObject* parent);

    // Shows status (translated in the caller's context), reads "$hello:" on a device2
    // session, fills the record and reports success, or "too old" for version 9 and below.
    // Session failures escape, as does the refusal of a phone that gives nothing to name
    // its cache folder by; a cancel escapes as simpleprotocol::CancelledException.
    void readDeviceInfoAndReport(const QString& status);

    WorkerReport* form;
    AndroidDevice record;
};
