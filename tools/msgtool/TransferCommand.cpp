#include "Command.h"
#include "HeadlessFrontEnd.h"
#include "IosArrivals.h"
#include "MessageDbAtPath.h"
#include "RunWorkerOrThrow.h"

#include "actions/IPhoneMessageDbLoad.h"
#include "actions/TransferToIPhone.h"
#include "model/MsgChat.h"
#include "model/SafeSort.h"
#include "model/SortPredicates.h"

#include <QJsonObject>
#include <QSet>

#include <cstdio>
#include <optional>

namespace {

struct TransferArguments
{
    QString source;
    QString udid;
    int waitMs = 3000;
    std::optional<QString> chat;
    std::optional<QStringList> guids;
};

TransferArguments transferArguments(const QStringList& args)
{
    TransferArguments parsed;
    QStringList positional;
    for (int i = 0; i < args.size(); ++i) {
        const QString& word = args[i];
        const bool isOption =
            word == QLatin1String("--wait") || word == QLatin1String("--chat") || word == QLatin1String("--messages");
        if (!isOption) {
            positional << word;
            continue;
        }
        if (i + 1 >= args.size())
            throw UsageError(QStringLiteral("%1 wants a value").arg(word).toStdString());
        const QString value = args[++i];
        if (word == QLatin1String("--wait"))
            parsed.waitMs = waitOptionMs(value);
        else if (word == QLatin1String("--chat"))
            parsed.chat = value;
        else
            parsed.guids = value.split(QLatin1Char(','), Qt::SkipEmptyParts);
    }
    if (parsed.chat && parsed.guids)
        throw UsageError("--chat and --messages exclude each other");
    if (parsed.guids && parsed.guids->isEmpty())
        throw UsageError("--messages wants at least one GUID");
    if (positional.size() != 2 || positional[0].startsWith(QLatin1Char('-'))
        || positional[1].startsWith(QLatin1Char('-')))
        throw UsageError("expected a SOURCE and a UDID");
    parsed.source = positional[0];
    parsed.udid = positional[1];
    return parsed;
}

// The messages of the set that the options choose, in message order: all of them, one
// chat's, or those with the GUIDs given, each of which must be there.
QList<_MsgMessage*> chosenMessages(const MsgSetPtr& set, const TransferArguments& args)
{
    QList<_MsgMessage*> chosen;
    const QSet<QString> guids = args.guids ? QSet<QString>(args.guids->cbegin(), args.guids->cend()) : QSet<QString>();
    QSet<QString> found;
    for (_MsgMessage* message : set.messages()) {
        if (args.chat && !(message->chat && message->chat->chat_identifier == *args.chat))
            continue;
        if (args.guids) {
            if (!guids.contains(message->guid))
                continue;
            found.insert(message->guid);
        }
        chosen << message;
    }
    if (args.chat && chosen.isEmpty())
        throw std::runtime_error(QStringLiteral("no chat %1 in %2").arg(*args.chat, args.source).toStdString());
    for (const QString& guid : guids) {
        if (!found.contains(guid))
            throw std::runtime_error(QStringLiteral("no message %1 in %2").arg(guid, args.source).toStdString());
    }
    safeSort(chosen, messageLessThan);
    return chosen;
}

// Reads the phone as its arrival does, then transfers the chosen messages of SOURCE into
// it as the window's action does.
QJsonValue transfer(const QStringList& arguments)
{
    const TransferArguments args = transferArguments(arguments);
    const QSharedPointer<AbsIOSMessageDb> source = messageDbAtPath(args.source);
    MsgSetPtr set;
    source->messages(set, 0);
    const QList<_MsgMessage*> messages = chosenMessages(set, args);

    IOSDevice device;
    try {
        device = waitForIPhone(args.udid, args.waitMs);
    } catch (const std::runtime_error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        throw std::runtime_error("This iPhone is not connected.");
    }
    HeadlessFrontEnd frontEnd;
    IPhoneMessageDbLoad load(device);
    throwUnlessSucceeded(load.fetch(frontEnd));
    TransferToIPhone action(device, load.open(), set, messages);
    throwUnlessSucceeded(action.run(frontEnd));
    return QJsonObject{{"merged", action.mergedCount()},
                       {"skipped", action.skippedCount() + set.data()->undatableMessages.size()}};
}

} // namespace

MSGTOOL_COMMAND("transfer", "SOURCE UDID [--wait SECONDS] [--chat CHAT_IDENTIFIER | --messages GUID,...]", transfer);
