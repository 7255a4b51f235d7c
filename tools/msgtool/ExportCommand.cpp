#include "Command.h"
#include "MessageDbAtPath.h"
#include "MessageRowCount.h"

#include "model/SafeSort.h"
#include "model/SortPredicates.h"
#include "msgdb/ExportMessagesDb.h"

#include <QJsonObject>

namespace {

QJsonValue exportMessages(const QStringList& args)
{
    if (args.size() != 2)
        throw UsageError("expected SRC and DST");
    const QSharedPointer<AbsIOSMessageDb> source = messageDbAtPath(args[0]);
    MsgSetPtr set;
    source->messages(set, 0);
    QList<_MsgMessage*> messages = set.messages();
    safeSort(messages, messageLessThan);

    const qint64 before = messageRowCount(args[1]);
    ExportMessagesDb exporter{QDir(args[1]), QString()};
    exporter.begin();
    try {
        for (const _MsgMessage* message : std::as_const(messages))
            exporter.write(*message);
        exporter.end();
    } catch (...) {
        exporter.abandon();
        throw;
    }
    const qint64 written = messageRowCount(args[1]) - before;
    return QJsonObject{{"written", written}, {"skipped", qint64(messages.size()) - written}};
}

} // namespace

MSGTOOL_COMMAND("export", "SRC DST", exportMessages);
