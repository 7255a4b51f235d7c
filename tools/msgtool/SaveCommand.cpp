#include "Command.h"
#include "RunWorkerOrThrow.h"
#include "WriteAllMessages.h"

#include "msgdb/BackupSMSThread.h"

namespace {

QJsonValue save(const QStringList& args)
{
    return writeAllMessages(args, [](QList<_MsgMessage*> messages, const QDir& target) {
        HeadlessReport report;
        BackupSMSThread worker(messages, target, QString(), &report, nullptr);
        runWorkerOrThrow(worker, report);
        return worker.addedCount();
    });
}

} // namespace

MSGTOOL_COMMAND("save", "SRC DST", save);
