#pragma once

#include "model/AbsDb.h"
#include "model/MsgSetPtr.h"

// A message database of any schema, as the user interface lists and loads it.
// The readers only add to the set they are given: a chat, handle or message whose
// row id is already a key of the set is neither read again nor replaced.
class AbsMessageDb : public AbsDb
{
public:
    ~AbsMessageDb() override = default;

    // Adds every chat of the file with its handles and last date.
    virtual void chats(MsgSetPtr& set) = 0;
    // Adds the messages of one chat (0 for every chat) after calling chats(set);
    // what a non-zero key means belongs to the schema.
    virtual void messages(MsgSetPtr& set, qint64 chatKey) = 0;
    // The file it reads, whether it exists yet or not.
    virtual QString databasePath() const = 0;
};
