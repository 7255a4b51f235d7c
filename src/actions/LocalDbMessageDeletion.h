#pragma once

#include "model/MsgSetPtr.h"

#include <QList>

class IOS6MessageDb;
class ActionFrontEnd;
struct _MsgChat;
struct _MsgMessage;

// Deletes messages of one local database: from its file by the deletion worker, as a
// step of the front end, then, once no view shows them any more, from the message set that owns
// them. Only records the set owns are ever freed, each once. GUI thread.
class LocalDbMessageDeletion
{
public:
    LocalDbMessageDeletion(IOS6MessageDb& db, MsgSetPtr set);

    // The records of list that the set owns, in list order. A list shown for another node
    // can hold another set's records: those are neither deleted here nor freed.
    QList<_MsgMessage*> ownedMessages(const QList<_MsgMessage*>& list) const;
    // True when the worker deleted them all; otherwise the file is as it was, and its
    // failure has been shown (a cancel shows nothing).
    bool deleteFromFile(const QList<_MsgMessage*>& messages, ActionFrontEnd& frontEnd);
    // Takes each owned message out of every chat of the set holding it (a message can be
    // joined to several) and out of the set, and frees it.
    void freeMessages(const QList<_MsgMessage*>& messages);
    // Takes each owned chat out of the set and frees it.
    void freeChats(const QList<_MsgChat*>& chats);

private:
    bool owns(const _MsgMessage* message) const;

    IOS6MessageDb& db;
    MsgSetPtr set;
};
