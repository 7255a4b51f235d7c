#pragma once

#include "model/MsgAttachment.h"
#include "model/MsgChat.h"
#include "model/MsgHandle.h"
#include "model/MsgMessage.h"

#include <QHash>
#include <QSet>

// Everything loaded from one message database, keyed by row id. The set owns every
// record in its four hashes and nothing else; records point at each other inside it.
struct _MsgSet
{
    _MsgSet() = default;
    _MsgSet(const _MsgSet&) = delete;
    _MsgSet& operator=(const _MsgSet&) = delete;
    ~_MsgSet();

    QHash<qint64, _MsgChat*> chats;
    QHash<qint64, _MsgHandle*> handles;
    QHash<qint64, _MsgMessage*> messages;
    QHash<qint64, _MsgAttachment*> attachments;
    // Row ids of the messages a reader left out because a date of theirs lies beyond what
    // a record holds; a later read neither takes nor counts them again.
    QSet<qint64> undatableMessages;
};
