#include "Command.h"
#include "IosArrivals.h"
#include "MessageDbAtPath.h"
#include "RunWorkerOrThrow.h"

#include "ios/IOSDevice.h"
#include "ios/IOSLoadFileRelayThread.h"

#include <QJsonObject>

namespace {

QJsonValue iosLoad(const QStringList& arguments)
{
    QStringList args = arguments;
    const int waitMs = takeWaitOption(args);
    if (args.size() != 1 || args.first().startsWith(QLatin1Char('-')))
        throw UsageError("expected one UDID");
    const QString udid = args.first();

    IOSDevice device = waitForIPhone(udid, waitMs);

    HeadlessReport report;
    IOSLoadFileRelayThread thread(&device, &report);
    runWorkerOrThrow(thread, report);
    const QString cache = device.cacheDir().absolutePath();
    return QJsonObject{{"cache", cache},
                       {"ios_version", messageDbAtPath(cache)->iosVersion()},
                       {"product_version", device.productVersion}};
}

} // namespace

MSGTOOL_COMMAND("ios-load", "UDID [--wait SECONDS]", iosLoad);
