#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>

class QFile;
class WorkerReport;
struct archive;
struct archive_entry;

// Unpacks a file_relay archive as phones send it, a cpio archive compressed with gzip or
// not at all, below "file-relay" of a phone's cache folder. Unpacked files replace the
// cached ones only once the whole archive has been read; any failure leaves the cache as
// it was. Reports through the report and throws RunCancelled once it is rejected.
class FileRelayUnpacker
{
public:
    // Many times what a phone's message and address-book databases take.
    static constexpr qint64 defaultSizeLimit = qint64(4) << 30;

    // sizeLimit: the bytes all unpacked files may take together. The free space of the
    // cache folder's volume bounds them as well.
    explicit FileRelayUnpacker(WorkerReport& report, qint64 sizeLimit = defaultSizeLimit);

    // Throws std::runtime_error for an archive it cannot read or that holds no SMS database,
    // CacheWriteError when the files cannot be written or would take more than is allowed.
    void unpack(const QString& archivePath, const QDir& cacheFolder);

private:
    void unpackFile(archive* reader, archive_entry* entry, QFile& file, const QString& archivePath);
    // Counts bytes about to be unpacked against the size limit and the free space.
    void charge(qint64 bytes, const QString& archivePath);

    WorkerReport& report;
    qint64 sizeLimit;
    qint64 spaceLeft = 0;
    qint64 unpacked = 0;
    QByteArray buffer;
};
