#pragma once

#include "msgdb/ExportMessagesDb.h"

#include "model/MsgMessage.h"

#include <QDir>
#include <QList>
#include <QString>
#include <QThread>

#include <functional>

class WorkerReport;

// Saves messages into the local database below a folder, in message order and in one
// transaction, through its own connection. Duplicates are skipped by the exporter; the
// success text counts the messages added. A cancel or an error commits nothing. The
// records and the report belong to the caller and must outlive the thread; the records
// are only read.
class BackupSMSThread : public QThread
{
    Q_OBJECT

public:
    // mcc: the mobile country code of the messages' device; empty for none.
    BackupSMSThread(QList<_MsgMessage*> messages, const QDir& folder, const QString& mcc, WorkerReport* form,
                    QObject* parent);
    ~BackupSMSThread() override;

    // The messages this save added, once it succeeded.
    qint64 addedCount() const { return exporter.addedMessages(); }
    // Runs on the worker's thread once the messages are committed and the connection
    // closed, before the success is told; when it throws, the save fails with its text.
    void setLastStep(std::function<void()> step) { lastStep = std::move(step); }

protected:
    void run() override;

private:
    QList<_MsgMessage*> messages;
    WorkerReport* form;
    ExportMessagesDb exporter;
    std::function<void()> lastStep;
};
