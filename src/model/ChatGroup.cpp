#include "model/ChatGroup.h"

#include "model/MsgChat.h"

QList<_MsgMessage*> _ChatGroup::messages() const
{
    QList<_MsgMessage*> result;
    for (const _MsgChat* chat : chats)
        for (_MsgMessage* message : chat->messages)
            result.append(message);
    return result;
}
