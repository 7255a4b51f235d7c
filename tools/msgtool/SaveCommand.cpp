#include "Command.h"
#include "MessageDbAtPath.h"
#include "MessageRowCount.h"
#include "RunWorkerOrThrow.h"

#include "msgdb/BackupSMSThread.h"

#include <QJsonObject>

namespace {

QJsonValue save(const QStringList& args)
{
    if (args.size() != 2)
        throw UsageError("expected SRC and DST");
    const QSharedPointer<AbsIOSMessageDb> source = messageDbAtPath(args[0]);
    MsgSetPtr set;
    source->messages(set, 0);
    const QList<_MsgMessage*> messages = set.messages();

    const qint64 before = messageRowCount(args[1]);
    ProgressForm form(QString(), nullptr);
    BackupSMSThread worker(messages, QDir(args[1]), QString(), &form, nullptr);
    runWorkerOrThrow(worker, form);
    const qint64 written = messageRowCount(args[1]) - before;
    return QJsonObject{{"written", written}, {"skipped", qint64(messages.size()) - written}};
}

} // namespace

MSGTOOL_COMMAND("save", "SRC DST", save);
