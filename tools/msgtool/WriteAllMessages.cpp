#include "WriteAllMessages.h"

#include "Command.h"
#include "MessageDbAtPath.h"

QJsonObject writeAllMessages(const QStringList& args,
                             const std::function<qint64(QList<_MsgMessage*> messages, const QDir& target)>& writeInto)
{
    if (args.size() != 2)
        throw UsageError("expected SRC and DST");
    const QSharedPointer<AbsIOSMessageDb> source = messageDbAtPath(args[0]);
    MsgSetPtr set;
    source->messages(set, 0);
    const QList<_MsgMessage*> messages = set.messages();

    const qint64 written = writeInto(messages, QDir(args[1]));
    const qint64 unread = set.data()->undatableMessages.size();
    return QJsonObject{{"written", written}, {"skipped", qint64(messages.size()) + unread - written}};
}
