#include "WriteAllMessages.h"

#include "Command.h"
#include "MessageDbAtPath.h"
#include "msgdb/CachedMessageDb.h"

QJsonObject writeAllMessages(const QStringList& args,
                             const std::function<void(QList<_MsgMessage*> messages, const QDir& target)>& writeInto)
{
    if (args.size() != 2)
        throw UsageError("expected SRC and DST");
    const QSharedPointer<AbsIOSMessageDb> source = messageDbAtPath(args[0]);
    MsgSetPtr set;
    source->messages(set, 0);
    const QList<_MsgMessage*> messages = set.messages();

    const qint64 before = cachedMessageCount(QDir(args[1]));
    writeInto(messages, QDir(args[1]));
    const qint64 written = cachedMessageCount(QDir(args[1])) - before;
    const qint64 unread = set.data()->undatableMessages.size();
    return QJsonObject{{"written", written}, {"skipped", qint64(messages.size()) + unread - written}};
}
