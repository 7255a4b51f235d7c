#include "ios/FileRelayUnpacker.h"

#include "frame/FullWrite.h"
#include "frame/ReportedRun.h"
#include "frame/WorkerReport.h"
#include "ios/CacheWriteError.h"
#include "ios/FileRelayEntryName.h"
#include "ios/IosLog.h"
#include "ios/StagedCacheFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QtDebug>

#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>

namespace {

constexpr int bufferSize = 0x80000;
const QString extractionFolderName = QStringLiteral("file-relay");
// Without it the download holds no messages, whatever else it brought.
const QString smsDbEntryPath = QStringLiteral("var/mobile/Library/SMS/sms.db");

using ArchiveReader = std::unique_ptr<archive, decltype(&archive_read_free)>;

// The error code libarchive gives bytes that are no archive of the formats it was told to
// read: its public header leaves the name undefined, and its sources define it so.
#ifdef EFTYPE
constexpr int unrecognisedFormat = EFTYPE;
#else
constexpr int unrecognisedFormat = EILSEQ;
#endif

QDateTime entryTime(time_t seconds, long nanoseconds)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(seconds) * 1000 + nanoseconds / 1000000, Qt::UTC);
}

// Invalid when the archive does not say.
QDateTime modificationTime(archive_entry* entry)
{
    return archive_entry_mtime_is_set(entry) ? entryTime(archive_entry_mtime(entry), archive_entry_mtime_nsec(entry))
                                             : QDateTime();
}

// A cpio archive carries no access time: the file was then last read when it was written.
QDateTime accessTime(archive_entry* entry)
{
    return archive_entry_atime_is_set(entry) ? entryTime(archive_entry_atime(entry), archive_entry_atime_nsec(entry))
                                             : modificationTime(entry);
}

// text holds %1 for a path and %2 for the reason.
QString fileError(const char* text, const QString& path, const QString& reason)
{
    return QString::fromLatin1(text).arg(path, reason);
}

[[noreturn]] void throwExtractError(archive* reader, const QString& archivePath)
{
    const char* reason = archive_error_string(reader);
    throw std::runtime_error(fileError("extract %1 error. %2", archivePath,
                                       reason ? QString::fromUtf8(reason) : QStringLiteral("The archive is damaged."))
                                 .toStdString());
}

// Only what a phone sends: a decompressor chosen by the bytes would otherwise be free to
// start an outside program (libarchive runs lrzip, lzop and others that way).
ArchiveReader openArchive(const QString& archivePath)
{
    // libarchive reads an empty file as an archive without entries; a phone that sent
    // nothing has sent no archive.
    int result = QFileInfo(archivePath).size() > 0 ? ARCHIVE_OK : ARCHIVE_FATAL;
    ArchiveReader reader(archive_read_new(), archive_read_free);
    if (!reader)
        throw std::bad_alloc();
    // Anything but ARCHIVE_OK, a warning included, would mean an outside gzip program.
    for (auto support :
         {archive_read_support_filter_none, archive_read_support_filter_gzip, archive_read_support_format_cpio}) {
        if (result == ARCHIVE_OK)
            result = support(reader.get());
    }
    if (result == ARCHIVE_OK)
        result = archive_read_open_filename(reader.get(), QFile::encodeName(archivePath).constData(), bufferSize);
    if (result != ARCHIVE_OK && archive_errno(reader.get()) == unrecognisedFormat) {
        const char* reason = archive_error_string(reader.get());
        qCWarning(lcIos).noquote() << "file_relay:" << archivePath << "is no archive read here:"
                                   << (reason ? reason : "no reason given");
        throw std::runtime_error("The iPhone sent its files in an archive of a format this program does not read; "
                                 "the messages loaded before are kept.");
    }
    if (result != ARCHIVE_OK)
        throw std::runtime_error(QStringLiteral("open %1(%2) error.").arg(archivePath).arg(result).toStdString());
    return reader;
}

} // namespace

FileRelayUnpacker::FileRelayUnpacker(WorkerReport& report, qint64 sizeLimit)
    : report(report)
    , sizeLimit(sizeLimit)
{
}

void FileRelayUnpacker::charge(qint64 bytes, const QString& archivePath)
{
    unpacked += bytes;
    if (unpacked > spaceLeft) {
        qCWarning(lcIos).noquote() << "file_relay: the archive needs more than the free" << spaceLeft << "bytes";
        throw CacheWriteError(
            fileError("extract %1 error. %2", archivePath, QString::fromLocal8Bit(std::strerror(ENOSPC)))
                .toStdString());
    }
    if (unpacked > sizeLimit)
        throw CacheWriteError(
            fileError("extract %1 error. Its files take more than %2 bytes.", archivePath, QString::number(sizeLimit))
                .toStdString());
}

void FileRelayUnpacker::unpack(const QString& archivePath, const QDir& cacheFolder)
{
    ArchiveReader reader = openArchive(archivePath);
    buffer.resize(bufferSize);
    unpacked = 0;
    const QStorageInfo volume(cacheFolder.absolutePath());
    spaceLeft = volume.isValid() ? volume.bytesAvailable() : sizeLimit;

    StagedCacheFiles staging(cacheFolder);
    staging.makeFolder(extractionFolderName);
    bool holdsSmsDb = false;
    for (;;) {
        archive_entry* entry = nullptr;
        int result = archive_read_next_header(reader.get(), &entry);
        if (result == ARCHIVE_EOF)
            break;
        if (result != ARCHIVE_OK && result != ARCHIVE_WARN)
            throwExtractError(reader.get(), archivePath);
        if (report.rejected)
            throw RunCancelled();
        const char* rawName = archive_entry_pathname(entry);
        const QString name = QString::fromUtf8(rawName ? rawName : "");
        const QString relative = fileRelayEntryPath(name);
        const auto type = archive_entry_filetype(entry) & AE_IFMT;
        if (relative.isEmpty() || archive_entry_hardlink(entry) || (type != AE_IFDIR && type != AE_IFREG)) {
            if (name != QLatin1String(".") && name != QLatin1String("./"))
                qCWarning(lcIos).noquote() << "file_relay: skipped the entry" << name << "of type" << Qt::oct << type;
            continue;
        }
        report.postProgress(QStringLiteral("Extracting %1").arg(QFileInfo(relative).fileName()), -1, QString());
        const QString path = extractionFolderName + QLatin1Char('/') + relative;
        if (type == AE_IFDIR) {
            staging.makeFolder(path);
            continue;
        }
        unpackFile(reader.get(), entry, staging.startFile(path), archivePath);
        staging.finishFile(accessTime(entry), modificationTime(entry));
        holdsSmsDb = holdsSmsDb || relative == smsDbEntryPath;
    }
    if (!holdsSmsDb)
        throw std::runtime_error("The iPhone sent no SMS database (" + smsDbEntryPath.toStdString()
                                 + "); the messages loaded before are kept.");
    staging.commit();
}

void FileRelayUnpacker::unpackFile(archive* reader, archive_entry* entry, QFile& file, const QString& archivePath)
{
    const qint64 size = archive_entry_size(entry);
    qint64 done = 0;
    for (;;) {
        if (report.rejected)
            throw RunCancelled();
        report.postProgress(QString(), -1,
                            QStringLiteral("Extracted: %L1KB / %L2KB").arg(done / 1024).arg(size / 1024));
        const la_ssize_t read = archive_read_data(reader, buffer.data(), bufferSize);
        if (read == 0)
            break;
        if (read < 0)
            throwExtractError(reader, archivePath);
        charge(read, archivePath);
        done += read;
        if (!writeFully(file, QByteArray::fromRawData(buffer.constData(), qsizetype(read))))
            throw CacheWriteError(fileError("write %1 error. %2", file.fileName(), file.errorString()).toStdString());
    }
    if (archive_entry_size_is_set(entry) && done != size)
        throw std::runtime_error(
            fileError("extract %1 error. %2 ends early.", archivePath, QString::fromUtf8(archive_entry_pathname(entry)))
                .toStdString());
}
