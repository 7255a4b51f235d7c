#include "Command.h"
#include "ConnectUsbPhone.h"
#include "RunWorkerOrThrow.h"
#include "msgdb/CachedMessageDb.h"

#include "android/AndroidLoadSMSThread.h"

#include <QJsonObject>

namespace {

// Reads the phone's messages into its cache database as the window does on arrival.
QJsonValue androidLoad(const QStringList& args)
{
    if (args.size() != 1)
        throw UsageError("expected one SERIAL");
    AndroidDevice device = connectUsbPhone(args.first());
    HeadlessReport report;
    AndroidLoadSMSThread worker(&device, &report, nullptr);
    runWorkerOrThrow(worker, report);
    const QString cache = device.cacheDir().absolutePath();
    return QJsonObject{
        {"cache", cache}, {"messages", cachedMessageCount(QDir(cache))}, {"skipped", worker.skippedCount()}};
}

} // namespace

MSGTOOL_COMMAND("android-load", "SERIAL", androidLoad);
