#pragma once

#include "msgdb/ExportMessagesDb.h"

#include "model/CountryLibDb.h"

#include <QThread>

class WorkerReport;
class QTcpSocket;
struct AndroidDevice;

// Reads every text message of a phone through the companion app's reading session into
// a new database beside the phone's cache database, which takes the cache's place, whole,
// only when the load succeeded. A cancel or an error leaves the cache as it was and removes
// the new file. The device and the report belong to the caller and must outlive the thread.
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
    // Clears what a run that died left at the names a load writes; throws for the first
    // file that stays.
    void clearLeftovers();
    // Puts the closed staged database in the cache's place, and the old cache with its
    // -journal, -wal and -shm aside; throws, with everything as before, when it cannot.
    void putInPlace();
    void readBatch(QTcpSocket* socket);
    void parseSms(const QString& payload);

    AndroidDevice* device;
    WorkerReport* form;
    int total = -1; // announced by the phone; -1 when it gave none
    int count = 0;  // "$sms:" lines received
    int skipped = 0;
    ExportMessagesDb exporter;
    const QString cachePath;  // the cache database
    const QString stagedPath; // the load's database until it succeeds
    const QString keptPath;   // the replaced cache until it is removed
    // The exporter's country, for the canonical form of addresses.
    CountryLibDb country;
};

// The bar's value after count of total records, truncated toward zero. Negative (the bar
// keeps its value) while the phone has given no total (-1).
int loadProgress(int count, int total);
