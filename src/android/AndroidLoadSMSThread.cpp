#include "android/AndroidLoadSMSThread.h"

#include "android/AndroidDevice.h"
#include "android/AndroidLog.h"
#include "android/simpleprotocol.h"

#include "frame/FileSwap.h"
#include "frame/ReportedRun.h"
#include "frame/WorkerReport.h"
#include "model/AppleTime.h"
#include "msgdb/PhoneSms.h"

#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>

#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>

namespace {

constexpr int sessionLimitMs = 10000;
constexpr int recordFields = 6;

// The database and the files where SQLite keeps its journal or log.
QStringList databaseFiles(const QString& database)
{
    return {database, database + QStringLiteral("-journal"), database + QStringLiteral("-wal"),
            database + QStringLiteral("-shm")};
}

bool entryExists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// Deletes the database and its side files. Returns the first that stays, after logging
// why; empty when all are gone.
QString removeDatabaseFiles(const QString& database)
{
    for (const QString& path : databaseFiles(database)) {
        if (!entryExists(path))
            continue;
        QFile file(path);
        if (!file.remove()) {
            qCWarning(lcAndroid, "AndroidLoadSMSThread: cannot remove %s. %s", qUtf8Printable(path),
                      qUtf8Printable(file.errorString()));
            return path;
        }
    }
    return QString();
}

QString decodeField(const QString& field)
{
    return QString::fromUtf8(QByteArray::fromBase64(field.toLatin1()));
}

// The companion app sends milliseconds since 1970; C++ division truncates toward zero.
// Empty for a field that is no number or a date the records cannot hold (32-bit seconds
// since 2001: from December 1932 to January 2069).
std::optional<qint32> appleSecondsFromUnixMs(const QString& field)
{
    bool isNumber = false;
    const qint64 ms = field.toLongLong(&isNumber);
    if (!isNumber)
        return std::nullopt;
    return appleSecondsInRange(ms / 1000 - appleEpochUnixSeconds);
}

} // namespace

int loadProgress(int count, int total)
{
    return int(double(count) / total * 100);
}

AndroidLoadSMSThread::AndroidLoadSMSThread(AndroidDevice* device, WorkerReport* form, QObject* parent)
    : QThread(parent)
    , device(device)
    , form(form)
    , exporter(device->cacheDir(), device->mmc)
    , cachePath(exporter.messageDb.databasePath())
    , stagedPath(cachePath + QStringLiteral(".loading"))
    , keptPath(cachePath + QStringLiteral(".replaced"))
    , country(device->mmc)
{
    exporter.messageDb.setDbPath(stagedPath);
}

AndroidLoadSMSThread::~AndroidLoadSMSThread() = default;

void AndroidLoadSMSThread::run()
{
    total = -1;
    count = 0;
    skipped = 0;
    form->postProgress(tr("IDS_ANDROID_LOADING_SMS"), 0, QString());
    const simpleprotocol::CancelFlag cancel = &form->rejected;
    // A cancel ends the session with simpleprotocol::CancelledException once the report is
    // rejected; runReported then reports nothing.
    runReported(
        *form,
        [&] {
            // Before anything is written: another phone's messages must not replace the cache.
            device->confirmIdentity(cancel);
            clearLeftovers();
            exporter.begin();
            const std::unique_ptr<QTcpSocket> socket =
                device->openSession(backupSessionUrl(session_port_next()), sessionLimitMs, cancel);
            for (;;) {
                const QString line =
                    simpleprotocol::readCommand(socket.get(), simpleprotocol::silenceLimitMs(), cancel);
                if (line.startsWith(simpleprotocol::keyword::bye))
                    break;
                if (line.startsWith(simpleprotocol::keyword::count)) {
                    total = line.mid(simpleprotocol::keyword::count.size()).toInt();
                    if (total == 0)
                        total = -1;
                } else if (line.startsWith(simpleprotocol::keyword::batch)) {
                    readBatch(socket.get());
                }
            }
            simpleprotocol::writeCommand(socket.get(), simpleprotocol::keyword::bye, QString(), true,
                                         simpleprotocol::silenceLimitMs(), cancel);
            socket->disconnectFromHost();
            exporter.end();
            putInPlace();
            form->postSucceed(QString());
        },
        [this] {
            exporter.abandon();
            removeDatabaseFiles(stagedPath);
        });
}

void AndroidLoadSMSThread::clearLeftovers()
{
    for (const QString& database : {stagedPath, keptPath}) {
        const QString stays = removeDatabaseFiles(database);
        if (!stays.isEmpty())
            throw std::runtime_error(tr("can not overwrite %1.").arg(stays.toHtmlEscaped()).toStdString());
    }
}

void AndroidLoadSMSThread::putInPlace()
{
    // A journal still beside the staged file means it was not closed cleanly; the file
    // must not move without it.
    for (const QString& path : databaseFiles(stagedPath).mid(1)) {
        if (entryExists(path)) {
            qCWarning(lcAndroid, "AndroidLoadSMSThread: %s is still there after the close", qUtf8Printable(path));
            throw std::runtime_error(tr("can not close %1.").arg(stagedPath.toHtmlEscaped()).toStdString());
        }
    }
    // The old logs go aside first, then the old file: a log must never meet another database.
    const QStringList cacheFiles = databaseFiles(cachePath);
    const QStringList keptFiles = databaseFiles(keptPath);
    FileSwap swap;
    for (qsizetype i = 1; i < cacheFiles.size(); ++i)
        swap.add(cacheFiles[i], QString(), keptFiles[i]);
    swap.add(cachePath, stagedPath, keptPath);
    try {
        swap.commit();
    } catch (const std::exception&) {
        // FileSwap has logged the reason.
        throw std::runtime_error(tr("can not overwrite %1.").arg(cachePath.toHtmlEscaped()).toStdString());
    }
    // Left over, they are cleared before the next load.
    removeDatabaseFiles(keptPath);
}

void AndroidLoadSMSThread::readBatch(QTcpSocket* socket)
{
    const simpleprotocol::CancelFlag cancel = &form->rejected;
    for (;;) {
        if (form->rejected)
            throw simpleprotocol::CancelledException();
        const QString line = simpleprotocol::readCommand(socket, simpleprotocol::silenceLimitMs(), cancel);
        if (line.startsWith(simpleprotocol::keyword::end))
            break;
        if (!line.startsWith(simpleprotocol::keyword::sms))
            continue;
        ++count;
        form->postProgress(QString(), loadProgress(count, total), QStringLiteral("sms: %1/%2").arg(count).arg(total));
        parseSms(line.mid(simpleprotocol::keyword::sms.size()));
    }
    simpleprotocol::writeCommand(socket, simpleprotocol::keyword::batch, QString(), true,
                                 simpleprotocol::silenceLimitMs(), cancel);
}

void AndroidLoadSMSThread::parseSms(const QString& payload)
{
    const QStringList fields = payload.split(QLatin1Char(','), Qt::KeepEmptyParts);
    if (fields.size() < recordFields) {
        ++skipped;
        return;
    }
    const std::optional<qint32> date = appleSecondsFromUnixMs(fields[0]);
    if (!date) {
        qCWarning(lcAndroid, "AndroidLoadSMSThread: skipped a message dated %s ms, a date no record can hold",
                  qUtf8Printable(fields[0].left(40)));
        ++skipped;
        return;
    }
    PhoneSms sms;
    sms.address = country.defaultCountry().canonicalizePhoneNumber(decodeField(fields[2]));
    sms.contactName = decodeField(fields[3]);
    sms.text = decodeField(fields[4]);
    sms.subject = decodeField(fields[5]);
    sms.date = *date;
    sms.fromMe = fields[1].toInt() == 1;
    writePhoneSms(exporter, sms);
}
