#include "android/AndroidConnectThread.h"

#include "android/AndroidCacheFolder.h"

#include "frame/WorkerReport.h"

#include <QCoreApplication>

namespace {

constexpr int oldestUnsupportedVersion = 9;

} // namespace

AndroidConnectThread::AndroidConnectThread(const AndroidDevice& device, WorkerReport* form, QObject* parent)
    : QThread(parent)
    , form(form)
    , record(device)
{
}

const AndroidDevice& AndroidConnectThread::device() const
{
    return record;
}

void AndroidConnectThread::readDeviceInfoAndReport(const QString& status)
{
    form->postProgress(status, 99, QString());
    record.parseDeviceInfo(record.readDeviceInfo(&form->rejected));
    // Refused here, before any load has to find a folder for it.
    androidCacheFolderName(record.imei, record.serial, record.uid);
    if (record.version > oldestUnsupportedVersion) {
        form->postSucceed(QString());
        return;
    }
    form->postError(QCoreApplication::translate("AndroidConnectThread",
                                                "Veltrominex SMS Sync on Android is too old. %1 needed. Please "
                                                "update it from Google Play.")
                        .arg(QStringLiteral("3.1.10")));
}
