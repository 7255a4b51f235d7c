#pragma once

#include <QList>

struct _MsgChat;
struct _MsgMessage;

// One entry of the conversation list: the chats that share one chat_identifier.
struct _ChatGroup
{
    QList<_MsgChat*> chats;
    qint32 lastDate = 0; // the greatest lastDate among the chats

    // Chat by chat in the order of `chats`, each chat's messages in hash order.
    QList<_MsgMessage*> messages() const;
};
