#include "Command.h"
#include "RunWorkerOrThrow.h"

#include "model/SafeSort.h"
#include "model/SortPredicates.h"
#include "msgdb/DeleteMessagesThread.h"
#include "msgdb/IOS6MessageDb.h"

#include <QFileInfo>
#include <QJsonObject>

namespace {

qint64 parseRowId(const QString& text)
{
    bool ok = false;
    const qint64 rowid = text.toLongLong(&ok);
    if (!ok)
        throw UsageError(QStringLiteral("not a row id: %1").arg(text).toStdString());
    return rowid;
}

QList<_MsgMessage*> chatMessages(const MsgSetPtr& set, qint64 chatRowid)
{
    const _MsgChat* chat = set.data()->chats.value(chatRowid);
    if (!chat)
        throw std::runtime_error(QStringLiteral("no chat %1").arg(chatRowid).toStdString());
    QList<_MsgMessage*> messages = chat->messages.values();
    safeSort(messages, lessThanId64<_MsgMessage>);
    return messages;
}

QList<_MsgMessage*> listedMessages(const MsgSetPtr& set, const QString& rowids)
{
    QList<_MsgMessage*> messages;
    for (const QString& text : rowids.split(QLatin1Char(','))) {
        const qint64 rowid = parseRowId(text);
        _MsgMessage* message = set.data()->messages.value(rowid);
        if (!message)
            throw std::runtime_error(QStringLiteral("no message %1").arg(rowid).toStdString());
        messages.append(message);
    }
    return messages;
}

QJsonValue deleteMessages(const QStringList& args)
{
    if (args.size() != 3 || (args[1] != QLatin1String("--chat") && args[1] != QLatin1String("--messages")))
        throw UsageError("expected DST --chat ROWID or DST --messages ROWID,...");
    const QDir folder(args[0]);
    IOS6MessageDb db(folder, QString(), true);
    if (!QFileInfo(db.databasePath()).isFile())
        throw std::runtime_error(QStringLiteral("no local database at %1").arg(args[0]).toStdString());

    MsgSetPtr set;
    const bool byChat = args[1] == QLatin1String("--chat");
    db.messages(set, byChat ? parseRowId(args[2]) : 0);
    const QList<_MsgMessage*> messages = byChat ? chatMessages(set, parseRowId(args[2])) : listedMessages(set, args[2]);

    HeadlessReport report;
    DeleteMessagesThread worker(&db, &messages, &report, nullptr);
    runWorkerOrThrow(worker, report);
    return QJsonObject{{"deleted", qint64(messages.size())}};
}

} // namespace

MSGTOOL_COMMAND("delete", "DST --chat ROWID | --messages ROWID,...", deleteMessages);
