#pragma once

#include "model/ChatGroup.h"
#include "model/MsgSet.h"

#include <QList>
#include <QSharedPointer>

// Shared handle to one _MsgSet: copies share the set, which goes with the last copy.
class MsgSetPtr
{
public:
    // A handle to a new, empty set.
    MsgSetPtr();

    // Loaders fill the set's hashes through this.
    _MsgSet* data() const { return set.data(); }

    // These lists are in hash order; sort them with safeSort.
    QList<_MsgMessage*> messages() const;
    QList<_MsgChat*> chats() const;
    // One group per distinct chat_identifier (the empty one included).
    QList<_ChatGroup> chatGroups() const;

private:
    QSharedPointer<_MsgSet> set;
};
