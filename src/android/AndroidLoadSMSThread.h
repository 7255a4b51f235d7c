#pragma once

#include "msgdb/ExportMessagesDb.h"

#include "model/CountryLibDb.h"

#include <QThread>

class WorkerReport;
class QTcpSocket;
struct AndroidDevice;

// Reads every text message of a phone through the companion app's reading session into
// the phone's cache database, which each run replaces. The device and the report belong
// to the caller and must outlive the thread. A cancel or an error commits nothing.
class AndroidLoadSMSThread : public QThread
{
    Q_OBJECT

public:
    AndroidLoadSMSThread(AndroidDevice* device, WorkerReport* form, QObject* parent);
    ~AndroidLoadSMSThread() override;

    // Records not stored: fewer than six fields, or a date no record can hold. After the run.
    int skippedCount() const { return skipped; }

protected:
    void run() override;

private:
    // Deletes the old cache database and its -journal, -wal and -shm; throws for the first
    // that stays.
    void removeOldCache();
    void readBatch(QTcpSocket* socket);
    void parseSms(const QString& payload);

    AndroidDevice* device;
    WorkerReport* form;
    int total = -1; // announced by the phone; -1 when it gave none
    int count = 0;  // "$sms:" lines received
    int skipped = 0;
    ExportMessagesDb exporter;
    // The exporter's country, for the canonical form of addresses.
    CountryLibDb country;
};

// The bar's value after count of total records, truncated toward zero. Negative (the bar
// keeps its value) while the phone has given no total (-1).
int loadProgress(int count, int total);
