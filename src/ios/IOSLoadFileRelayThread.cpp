#include "ios/IOSLoadFileRelayThread.h"

#include "frame/ReportedRun.h"
#include "frame/WorkerReport.h"
#include "ios/FileRelayEntryName.h"
#include "ios/IOSDevice.h"
#include "ios/IosLog.h"
#include "ios/PhoneDeparture.h"
#include "ios/StagedCacheFiles.h"
#include "ios/mobiledevice_file_relay.h"
#include "ios/mobiledevice_session.h"
#include "ios/mobiledevice_socket.h"

#include <QFile>
#include <QFileInfo>
#include <QtDebug>

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <stdexcept>

namespace {

constexpr int bufferSize = 0x80000;
// The download looks at the cancel flag after each piece, and whenever the phone has been
// quiet for cancelPollMs.
constexpr int receivePiece = 0x10000;
constexpr int cancelPollMs = 200;
// A phone that sends nothing for this long has ended its stream.
constexpr auto stallLimit = std::chrono::seconds(60);
const QString archiveName = QStringLiteral("file-relay.cpio");
const QString extractionFolderName = QStringLiteral("file-relay");
// Without it the download holds no messages, whatever else it brought.
const QString smsDbEntryPath = QStringLiteral("var/mobile/Library/SMS/sms.db");

// A service socket, closed when the run leaves it behind.
class ServiceSocket
{
public:
    ServiceSocket() = default;
    ~ServiceSocket() { close(); }
    Q_DISABLE_COPY_MOVE(ServiceSocket)

    int* out() { return &fd; }
    int get() const { return fd; }
    void close()
    {
        if (fd >= 0)
            mobiledevice_close_socket(fd);
        fd = -1;
    }

private:
    int fd = -1;
};

using ArchiveReader = std::unique_ptr<archive, decltype(&archive_read_free)>;

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

// text holds %1 for the file's path and %2 for the reason.
[[noreturn]] void throwFileError(const char* text, const QString& path, const QString& reason)
{
    throw std::runtime_error(QString::fromLatin1(text).arg(path, reason).toStdString());
}

[[noreturn]] void throwExtractError(archive* reader, const QString& archivePath)
{
    const char* reason = archive_error_string(reader);
    throwFileError("extract %1 error. %2", archivePath,
                   reason ? QString::fromUtf8(reason) : QStringLiteral("The archive is damaged."));
}

} // namespace

IOSLoadFileRelayThread::IOSLoadFileRelayThread(IOSDevice* device, WorkerReport* form, QObject* parent)
    : QThread(parent)
    , device(device)
    , form(form)
{
}

void IOSLoadFileRelayThread::run()
{
    form->postProgress(tr("IDS_LOADING_IOS_DATABASES"), 0, QString());
    runReported(*form, [this] {
        const QDir cacheFolder = device->cacheDir();
        const QString archivePath = cacheFolder.absoluteFilePath(archiveName);
        try {
            {
                ServiceSocket socket;
                mobiledevice_file_relay_start(device->handle, socket.out());
                mobiledevice_file_relay_request(socket.get(), {QStringLiteral("UserDatabases")});
                buffer.resize(bufferSize);
                download(socket.get(), archivePath);
            }
            extract(archivePath, cacheFolder);
        } catch (const std::exception& e) {
            // A phone unplugged mid-stream leaves an archive that merely looks damaged.
            if (!form->rejected && !mobiledevice_is_attached(device->handle)) {
                qCWarning(lcIos).noquote() << "file_relay:" << e.what();
                throw std::runtime_error(departedPhoneText().toStdString());
            }
            throw;
        }
        if (!QFile::remove(archivePath))
            qCWarning(lcIos).noquote() << "file_relay: cannot remove" << archivePath;
        form->postSucceed(QString());
    });
}

void IOSLoadFileRelayThread::download(int socket, const QString& archivePath)
{
    // Made anew, so that a link left in its place is replaced, never written through.
    QFile::remove(archivePath);
    QFile file(archivePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        throwFileError("create %1 failed. %2", archivePath, file.errorString());
    qint64 total = 0;
    for (;;) {
        const int received = receiveBuffer(socket);
        if (received == 0)
            break;
        if (form->rejected)
            throw RunCancelled();
        total += received;
        form->postProgress(QString(), 99, QStringLiteral("Received:%L1KB").arg(total / 1024));
        if (file.write(buffer.constData(), received) != received)
            throwFileError("write %1 failed. %2", archivePath, file.errorString());
    }
    if (!file.flush())
        throwFileError("write %1 failed. %2", archivePath, file.errorString());
}

int IOSLoadFileRelayThread::receiveBuffer(int socket)
{
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    int filled = 0;
    while (filled < bufferSize) {
        if (form->rejected)
            throw RunCancelled();
        const int ready = mobiledevice_wait_socket(socket, cancelPollMs, true);
        if (ready == 0 && filled == 0 && Clock::now() - start < stallLimit)
            continue;
        // Nothing at all: the stream failed or stalled. Quiet after a piece, or a short
        // piece, is a pause, which hands on what has come; the end shows as a piece of 0.
        if (ready <= 0)
            break;
        const int piece = std::min(receivePiece, bufferSize - filled);
        const int received = mobiledevice_receive_data(socket, buffer.data() + filled, piece, cancelPollMs);
        if (received < 1)
            break;
        filled += received;
        if (received < piece)
            break;
    }
    return filled;
}

void IOSLoadFileRelayThread::extract(const QString& archivePath, const QDir& cacheFolder)
{
    // libarchive reads an empty file as an archive without entries; a phone that sent
    // nothing has sent no archive.
    int result = QFileInfo(archivePath).size() > 0 ? ARCHIVE_OK : ARCHIVE_FATAL;
    ArchiveReader reader(archive_read_new(), archive_read_free);
    if (result == ARCHIVE_OK) {
        archive_read_support_filter_all(reader.get());
        archive_read_support_format_all(reader.get());
        result = archive_read_open_filename(reader.get(), QFile::encodeName(archivePath).constData(), bufferSize);
    }
    if (result != ARCHIVE_OK)
        throw std::runtime_error(QStringLiteral("open %1(%2) error.").arg(archivePath).arg(result).toStdString());

    StagedCacheFiles staging(cacheFolder);
    staging.makeFolder(extractionFolderName);
    bool holdsSmsDb = false;
    for (;;) {
        archive_entry* entry = nullptr;
        result = archive_read_next_header(reader.get(), &entry);
        if (result == ARCHIVE_EOF)
            break;
        if (result != ARCHIVE_OK && result != ARCHIVE_WARN)
            throwExtractError(reader.get(), archivePath);
        if (form->rejected)
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
        form->postProgress(QStringLiteral("Extracting %1").arg(QFileInfo(relative).fileName()), -1, QString());
        const QString path = extractionFolderName + QLatin1Char('/') + relative;
        if (type == AE_IFDIR) {
            staging.makeFolder(path);
            continue;
        }
        extractFile(reader.get(), entry, staging.startFile(path), archivePath);
        staging.finishFile(accessTime(entry), modificationTime(entry));
        holdsSmsDb = holdsSmsDb || relative == smsDbEntryPath;
    }
    if (!holdsSmsDb)
        throw std::runtime_error("The iPhone sent no SMS database (" + smsDbEntryPath.toStdString()
                                 + "); the messages loaded before are kept.");
    staging.commit();
}

void IOSLoadFileRelayThread::extractFile(archive* reader, archive_entry* entry, QFile& file, const QString& archivePath)
{
    const qint64 size = archive_entry_size(entry);
    qint64 done = 0;
    for (;;) {
        if (form->rejected)
            throw RunCancelled();
        form->postProgress(QString(), -1, QStringLiteral("Extracted: %L1KB / %L2KB").arg(done / 1024).arg(size / 1024));
        const la_ssize_t read = archive_read_data(reader, buffer.data(), bufferSize);
        if (read == 0)
            break;
        if (read < 0)
            throwExtractError(reader, archivePath);
        done += read;
        if (file.write(buffer.constData(), read) != read)
            throwFileError("write %1 error. %2", file.fileName(), file.errorString());
    }
    if (archive_entry_size_is_set(entry) && done != size)
        throwFileError("extract %1 error. %2 ends early.", archivePath,
                       QString::fromUtf8(archive_entry_pathname(entry)));
}
