#include "Command.h"
#include "MessageDbAtPath.h"
#include "MessageSetJson.h"

namespace {

QJsonValue dump(const QStringList& args)
{
    if (args.size() != 1)
        throw UsageError("expected one PATH");
    const QSharedPointer<AbsIOSMessageDb> db = messageDbAtPath(args.first());
    MsgSetPtr set;
    db->messages(set, 0);
    writeMessageSetJson(stdout, set, db->iosVersion());
    return QJsonValue(QJsonValue::Undefined);
}

} // namespace

MSGTOOL_COMMAND("dump", "PATH", dump);
