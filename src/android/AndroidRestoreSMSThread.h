#pragma once

#include "msgdb/ExportMessagesDb.h"

#include "model/MsgMessage.h"

#include <QList>
#include <QThread>

class WorkerReport;
class QTcpSocket;
struct AndroidDevice;

// Sends text messages to a phone through the companion app's sending session, in batches
// of at most 100, and records them in the phone's cache database. A message the cache
// already holds is not sent again. A batch is recorded only once the phone acknowledged
// it, so after a cancel or an error a retry sends what the phone may not have stored.
// The device, the records and the report belong to the caller and must outlive the thread.
class AndroidRestoreSMSThread : public QThread
{
    Q_OBJECT

public:
    // Drops, and counts as skipped, every message that is not a text item or has no handle.
    AndroidRestoreSMSThread(AndroidDevice* device, const QList<_MsgMessage*>& messages, WorkerReport* form,
                            QObject* parent);
    ~AndroidRestoreSMSThread() override;

    int skippedCount() const { return skipped; }
    // "$sms:" lines written by the last run. Read after the thread ended.
    int sentCount() const { return sent; }

protected:
    void run() override;

private:
    void waitUntilDefaultSmsApp(QTcpSocket* socket);
    void sendBatches(QTcpSocket* socket);
    void checkCancel() const;
    // Ends the cache database's transaction keeping what the phone acknowledged; never throws.
    void keepAcknowledged() noexcept;

    AndroidDevice* device;
    QList<_MsgMessage*> messages;
    WorkerReport* form;
    ExportMessagesDb exporter;
    int skipped = 0;
    int handled = 0; // messages of the list gone through, sent or found in the cache
    int sent = 0;
    bool batchOpen = false; // written to the cache but not yet acknowledged
};

// The "$sms:" payload of a message: milliseconds since 1970, direction, Base64 of the
// handle's id and of the text without attachment marks.
QString restoreRecord(const _MsgMessage& message);
