#include "Command.h"
#include "WriteAllMessages.h"

#include "model/SafeSort.h"
#include "model/SortPredicates.h"
#include "msgdb/ExportMessagesDb.h"

namespace {

QJsonValue exportMessages(const QStringList& args)
{
    return writeAllMessages(args, [](QList<_MsgMessage*> messages, const QDir& target) {
        safeSort(messages, messageLessThan);
        ExportMessagesDb exporter{target, QString()};
        exporter.begin();
        try {
            for (const _MsgMessage* message : std::as_const(messages))
                exporter.write(*message);
            exporter.end();
        } catch (...) {
            exporter.abandon();
            throw;
        }
        return exporter.addedMessages();
    });
}

} // namespace

MSGTOOL_COMMAND("export", "SRC DST", exportMessages);
