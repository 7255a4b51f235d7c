#pragma once

#include "ios/FileRelayUnpacker.h"

#include <QByteArray>
#include <QDir>
#include <QThread>

class IOSDevice;
class WorkerReport;

// Downloads a phone's message and address-book databases through its file_relay
// service into "file-relay.cpio" of the phone's cache folder and unpacks them below
// "file-relay" there (FileRelayUnpacker). Unpacked files replace the cached ones only once
// the whole archive has been read; a damaged or cut-short archive is an error that leaves
// the cache as it was, with the download kept. A full disk, or files past sizeLimit,
// leave the cache as it was too, without the download. Reports through the form, and ends
// with one success or one error, or quietly after a cancel. The device and the form belong
// to the caller, who leaves both alone while the thread runs.
class IOSLoadFileRelayThread : public QThread
{
    Q_OBJECT

public:
    IOSLoadFileRelayThread(IOSDevice* device, WorkerReport* form, QObject* parent = nullptr,
                           qint64 sizeLimit = FileRelayUnpacker::defaultSizeLimit);

protected:
    void run() override;

private:
    void download(int socket, const QString& archivePath);
    // Fills the buffer until it is full or the phone pauses; 0 when the stream has ended.
    int receiveBuffer(int socket);
    void extract(const QString& archivePath, const QDir& cacheFolder);

    IOSDevice* device;
    WorkerReport* form;
    qint64 sizeLimit;
    QByteArray buffer;
};
