#pragma once

#include "model/MsgMessage.h"

#include <QList>
#include <QThread>

class IOS6MessageDb;
class WorkerReport;

// Deletes messages from a local database in one transaction, reporting through
// form. A cancel or an error rolls everything back. The database, the list and the
// report belong to the caller and must outlive the thread; the records are only read.
class DeleteMessagesThread : public QThread
{
    Q_OBJECT

public:
    DeleteMessagesThread(IOS6MessageDb* db, const QList<_MsgMessage*>* messages, WorkerReport* form, QObject* parent);
    ~DeleteMessagesThread() override;

protected:
    void run() override;

private:
    IOS6MessageDb* db;
    const QList<_MsgMessage*>* messages;
    WorkerReport* form;
};
