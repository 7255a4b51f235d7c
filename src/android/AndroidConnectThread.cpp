#include "android/AndroidConnectThread.h"

#include "android/AndroidCacheFolder.h"
#include "android/simpleprotocol.h"

#include "frame/WorkerReport.h"

#include <QCoreApplication>
#include <QTcpSocket>

namespace {

constexpr int sessionLimitMs = 10000;
constexpr int helloKeywordLength = 7; // "$hello:"
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
    const simpleprotocol::CancelFlag cancel = &form->rejected;
    QString payload;
    {
        const std::unique_ptr<QTcpSocket> session =
            record.openSession(deviceSessionUrl(session_port_next()), sessionLimitMs, cancel);
        // The keyword is not checked: whatever the first line, its first 7 characters go.
        payload = simpleprotocol::readCommand(session.get(), -1, cancel).mid(helloKeywordLength);
        simpleprotocol::writeCommand(session.get(), QStringLiteral("$bye:"), QString(), true, -1, cancel);
        session->disconnectFromHost();
    }
    record.parseDeviceInfo(payload);
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
