#include "Command.h"
#include "IosArrivals.h"
#include "MessageDbAtPath.h"
#include "RunWorkerOrThrow.h"

#include "ios/IOSDevice.h"
#include "ios/IOSLoadFileRelayThread.h"

#include <QJsonObject>

#include <optional>
#include <stdexcept>

namespace {

QJsonValue iosLoad(const QStringList& arguments)
{
    QStringList args = arguments;
    const int waitMs = takeWaitOption(args);
    if (args.size() != 1 || args.first().startsWith(QLatin1Char('-')))
        throw UsageError("expected one UDID");
    const QString udid = args.first();

    // The phone is recognised by the identifier it reports, as the program reads it.
    std::optional<IOSDevice> device;
    QStringList unreadable;
    IosArrivals arrivals;
    arrivals.wait(waitMs, [&](void* handle) {
        try {
            const IOSDevice arrived = IOSDevice::read(handle);
            if (arrived.uniqueDeviceId == udid)
                device = arrived;
        } catch (const std::runtime_error& e) {
            unreadable << QString::fromUtf8(e.what());
        }
        return device.has_value();
    });
    if (!device) {
        QString text = QStringLiteral("the iPhone %1 did not arrive within %2 s").arg(udid).arg(waitMs / 1000.0);
        if (!unreadable.isEmpty())
            text += QStringLiteral("; a phone that arrived could not be read: ") + unreadable.first();
        throw std::runtime_error(text.toStdString());
    }

    HeadlessReport report;
    IOSLoadFileRelayThread thread(&*device, &report);
    runWorkerOrThrow(thread, report);
    const QString cache = device->cacheDir().absolutePath();
    return QJsonObject{{"cache", cache},
                       {"ios_version", messageDbAtPath(cache)->iosVersion()},
                       {"product_version", device->productVersion}};
}

} // namespace

MSGTOOL_COMMAND("ios-load", "UDID [--wait SECONDS]", iosLoad);
