#pragma once

#include "frame/WorkerOutcome.h"
#include "ios/IOSDevice.h"
#include "model/MsgSetPtr.h"

#include <QList>
#include <QSharedPointer>

class AbsMessageDb;
class ActionFrontEnd;
struct _MsgMessage;

// Writes messages into a connected iPhone: backs the phone up into the temporary backup
// root, caches the backup's message database, merges the messages into the backup and
// restores the backup onto the phone, each step a worker run by the front end. It keeps
// its own copy of the phone's record, the phone's database and the message set the
// messages belong to, so the tree may change under it while it runs.
class TransferToIPhone
{
public:
    // targetDb: the phone's database as its arrival opened it, which tells its schema.
    // messages: records of source, only read.
    TransferToIPhone(const IOSDevice& target, QSharedPointer<AbsMessageDb> targetDb, const MsgSetPtr& source,
                     const QList<_MsgMessage*>& messages);

    // Asks, refuses and reports through the front end; Failed carries the text of the
    // refusal or failure, Cancelled follows a No or a cancelled step.
    WorkerOutcome run(ActionFrontEnd& frontEnd);

    // After run: the messages the phone did not hold and the merge added, and those it left
    // out for want of a chat.
    int mergedCount() const { return merged; }
    int skippedCount() const { return skipped; }

private:
    // Why the phone cannot take the messages, before anything is asked; empty when it can.
    QString targetRefusal() const;

    IOSDevice target;
    QSharedPointer<AbsMessageDb> targetDb;
    MsgSetPtr source;
    QList<_MsgMessage*> messages;
    int merged = 0;
    int skipped = 0;
};
