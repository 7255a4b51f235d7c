#include "ConnectUsbPhone.h"

#include "RunWorkerOrThrow.h"

#include "android/AndroidConnectWithUSBThread.h"

AndroidDevice connectUsbPhone(const QString& serial)
{
    HeadlessReport report;
    AndroidConnectWithUSBThread worker(serial, &report, nullptr);
    runWorkerOrThrow(worker, report);
    return worker.device();
}
