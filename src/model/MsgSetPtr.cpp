#include "model/MsgSetPtr.h"

#include <QHash>

MsgSetPtr::MsgSetPtr() : set(QSharedPointer<_MsgSet>::create()) {}

QList<_MsgMessage*> MsgSetPtr::messages() const
{
    return set->messages.values();
}

QList<_MsgChat*> MsgSetPtr::chats() const
{
    return set->chats.values();
}

QList<_ChatGroup> MsgSetPtr::chatGroups() const
{
    QHash<QString, _ChatGroup> groups;
    for (_MsgChat* chat : std::as_const(set->chats)) {
        auto it = groups.find(chat->chat_identifier);
        if (it == groups.end()) {
            groups.insert(chat->chat_identifier, _ChatGroup{{chat}, chat->lastDate});
            continue;
        }
        it->chats.append(chat);
        if (chat->lastDate > it->lastDate)
            it->lastDate = chat->lastDate;
    }
    return groups.values();
}
