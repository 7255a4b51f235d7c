#include "ios/IOSLoadFileRelayThread.h"

#include "frame/FullWrite.h"
#include "frame/ReportedRun.h"
#include "frame/WorkerReport.h"
#include "ios/CacheWriteError.h"
#include "ios/FileRelayUnpacker.h"
#include "ios/IOSDevice.h"
#include "ios/IosLog.h"
#include "ios/PhoneDeparture.h"
#include "ios/mobiledevice_file_relay.h"
#include "ios/mobiledevice_session.h"
#include "ios/mobiledevice_socket.h"

#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QtDebug>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <limits>
#include <stdexcept>

#include <unistd.h>

namespace {

constexpr int bufferSize = 0x80000;
// The download looks at the cancel flag after each piece, and whenever the phone has been
// quiet for cancelPollMs.
constexpr int receivePiece = 0x10000;
constexpr int cancelPollMs = 200;
// A phone that sends nothing for this long has ended its stream.
constexpr auto stallLimit = std::chrono::seconds(60);
const QString archiveName = QStringLiteral("file-relay.cpio");

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

// text holds %1 for the file's path and %2 for the reason.
[[noreturn]] void throwFileError(const char* text, const QString& path, const QString& reason)
{
    throw std::runtime_error(QString::fromLatin1(text).arg(path, reason).toStdString());
}

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

IOSLoadFileRelayThread::IOSLoadFileRelayThread(IOSDevice* device, WorkerReport* form, QObject* parent, qint64 sizeLimit)
    : QThread(parent)
    , device(device)
    , form(form)
    , sizeLimit(sizeLimit)
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
    // A download that cannot be written whole is of no use, and takes space a full disk lacks.
    const auto writeFailure = [&file, &archivePath](const QString& reason) {
        file.remove();
        return CacheWriteError(QStringLiteral("write %1 failed. %2").arg(archivePath, reason).toStdString());
    };
    const QStorageInfo volume(QFileInfo(archivePath).absolutePath());
    const qint64 spaceLeft = volume.isValid() ? volume.bytesAvailable() : std::numeric_limits<qint64>::max();
    qint64 total = 0;
    for (;;) {
        const int received = receiveBuffer(socket);
        if (received == 0)
            break;
        if (form->rejected)
            throw RunCancelled();
        total += received;
        form->postProgress(QString(), 99, QStringLiteral("Received:%L1KB").arg(total / 1024));
        if (total > spaceLeft)
            throw writeFailure(systemReason(ENOSPC));
        if (!writeFully(file, QByteArray::fromRawData(buffer.constData(), received)))
            throw writeFailure(file.errorString());
    }
    if (!flushFully(file))
        throw writeFailure(file.errorString());
    if (::fsync(file.handle()) != 0)
        throw writeFailure(systemReason(errno));
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
    try {
        FileRelayUnpacker(*form, sizeLimit).unpack(archivePath, cacheFolder);
    } catch (const CacheWriteError&) {
        // Nothing of the download can be used then, and a full disk needs its space back.
        QFile::remove(archivePath);
        throw;
    }
}
