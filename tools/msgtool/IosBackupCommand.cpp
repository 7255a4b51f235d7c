#include "Command.h"
#include "IosArrivals.h"
#include "RunWorkerOrThrow.h"

#include "ios/IOSDevice.h"
#include "ios/IOSMobileBackupThread.h"

#include <QJsonObject>

namespace {

QJsonValue iosBackup(const QStringList& arguments)
{
    QStringList args = arguments;
    const int waitMs = takeWaitOption(args);
    if (args.size() != 1 || args.first().startsWith(QLatin1Char('-')))
        throw UsageError("expected one UDID");
    IOSDevice device = waitForIPhone(args.first(), waitMs);

    HeadlessReport report;
    IOSMobileBackupThread thread(&device, &report);
    runWorkerOrThrow(thread, report);
    return QJsonObject{{"folder", thread.backupDir().absoluteFilePath(device.uniqueDeviceId)}};
}

} // namespace

MSGTOOL_COMMAND("ios-backup", "UDID [--wait SECONDS]", iosBackup);
