#pragma once

#include <QByteArray>
#include <QDir>
#include <QThread>

class IOSDevice;
class WorkerReport;
class QFile;
struct archive;
struct archive_entry;

// Downloads a phone's message and address-book databases through its file_relay
// service into "file-relay.cpio" of the phone's cache folder and unpacks them below
// "file-relay" there. Unpacked files replace the cached ones only once the whole archive
// has been read; a damaged or cut-short archive is an error that leaves the cache as it
// was, with the download kept. Reports through the form, and ends with one success or
// one error, or quietly after a cancel. The device and the form belong to the caller,
// who leaves both alone while the thread runs.
class IOSLoadFileRelayThread : public QThread
{
    Q_OBJECT

public:
    IOSLoadFileRelayThread(IOSDevice* device, WorkerReport* form, QObject* parent = nullptr);

protected:
    void run() override;

private:
    void download(int socket, const QString& archivePath);
    // Fills the buffer until it is full or the phone pauses; 0 when the stream has ended.
    int receiveBuffer(int socket);
    void extract(const QString& archivePath, const QDir& cacheFolder);
    void extractFile(archive* reader, archive_entry* entry, QFile& file, const QString& archivePath);

    IOSDevice* device;
    WorkerReport* form;
    // One buffer serves the download and the unpacking.
    QByteArray buffer;
};
