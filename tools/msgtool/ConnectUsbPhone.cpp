#include "ConnectUsbPhone.h"

#include "RunWorkerOrThrow.h"

#include "android/AndroidConnectWithUSBThread.h"

AndroidDevice connectUsbPhone(const QString& serial)
{
    ProgressForm form(QString(), nullptr);
    AndroidConnectWithUSBThread worker(serial, &form, nullptr);
    runWorkerOrThrow(worker, form);
    return worker.device();
}
