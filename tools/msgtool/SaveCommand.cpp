#include "Command.h"
#include "RunWorkerOrThrow.h"
#include "WriteAllMessages.h"

#include "frame/ProgressForm.h"
#include "msgdb/BackupSMSThread.h"

namespace {

QJsonValue save(const QStringList& args)
{
    return writeAllMessages(args, [](QList<_MsgMessage*> messages, const QDir& target) {
        ProgressForm form(QString(), nullptr);
        BackupSMSThread worker(messages, target, QString(), &form, nullptr);
        runWorkerOrThrow(worker, form);
    });
}

} // namespace

MSGTOOL_COMMAND("save", "SRC DST", save);
