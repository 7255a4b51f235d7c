#include "actions/LocalDbMessageDeletion.h"

#include "actions/ActionFrontEnd.h"

#include "msgdb/DeleteMessagesThread.h"

#include <QSet>

LocalDbMessageDeletion::LocalDbMessageDeletion(IOS6MessageDb& db, MsgSetPtr set)
    : db(db)
    , set(std::move(set))
{
}

bool LocalDbMessageDeletion::owns(const _MsgMessage* message) const
{
    return message && set.data()->messages.value(message->rowid) == message;
}

QList<_MsgMessage*> LocalDbMessageDeletion::ownedMessages(const QList<_MsgMessage*>& list) const
{
    QList<_MsgMessage*> owned;
    QSet<const _MsgMessage*> seen;
    for (_MsgMessage* message : list) {
        if (owns(message) && !seen.contains(message)) {
            seen.insert(message);
            owned.append(message);
        }
    }
    return owned;
}

bool LocalDbMessageDeletion::deleteFromFile(const QList<_MsgMessage*>& messages, ActionFrontEnd& frontEnd)
{
    const std::unique_ptr<ActionStep> step = frontEnd.newStep();
    DeleteMessagesThread worker(&db, &messages, &step->report(), nullptr);
    return step->run(worker).result == WorkerOutcome::Succeeded;
}

void LocalDbMessageDeletion::freeMessages(const QList<_MsgMessage*>& messages)
{
    _MsgSet& records = *set.data();
    // Sorted out before the first is freed: the list may name a record twice.
    for (_MsgMessage* message : ownedMessages(messages)) {
        const QString key = QString::number(message->rowid);
        for (_MsgChat* chat : std::as_const(records.chats)) {
            if (chat->messages.value(key) == message)
                chat->messages.remove(key);
        }
        records.messages.remove(message->rowid);
        delete message;
    }
}

void LocalDbMessageDeletion::freeChats(const QList<_MsgChat*>& chats)
{
    _MsgSet& records = *set.data();
    QList<_MsgChat*> owned;
    for (_MsgChat* chat : chats) {
        if (chat && records.chats.value(chat->rowid) == chat && !owned.contains(chat))
            owned.append(chat);
    }
    for (_MsgChat* chat : owned) {
        records.chats.remove(chat->rowid);
        delete chat;
    }
}
