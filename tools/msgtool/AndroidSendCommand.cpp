#include "Command.h"
#include "ConnectUsbPhone.h"
#include "MessageDbAtPath.h"
#include "RunWorkerOrThrow.h"

#include "android/AndroidRestoreSMSThread.h"

#include <QJsonObject>

namespace {

// Sends every message of SOURCE (a database folder or file, as dump takes it) to the phone.
QJsonValue androidSend(const QStringList& args)
{
    if (args.size() != 2)
        throw UsageError("expected SERIAL and SOURCE");
    const QSharedPointer<AbsIOSMessageDb> source = messageDbAtPath(args[1]);
    MsgSetPtr set;
    source->messages(set, 0);
    AndroidDevice device = connectUsbPhone(args[0]);
    HeadlessReport report;
    AndroidRestoreSMSThread worker(&device, set.messages(), &report, nullptr);
    runWorkerOrThrow(worker, report);
    return QJsonObject{{"sent", worker.sentCount()}, {"skipped", worker.skippedCount()}};
}

} // namespace

MSGTOOL_COMMAND("android-send", "SERIAL SOURCE", androidSend);
