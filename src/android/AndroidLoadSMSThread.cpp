#include "android/AndroidLoadSMSThread.h"

#include "android/AndroidDevice.h"
#include "android/simpleprotocol.h"

#include "frame/ProgressForm.h"
#include "model/AppleTime.h"
#include "model/MsgChat.h"
#include "model/MsgHandle.h"
#include "model/MsgIdentity.h"
#include "model/MsgMessage.h"

#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>

#include <exception>
#include <memory>

namespace {

constexpr int sessionLimitMs = 10000;
constexpr int recordFields = 6;

QString decodeField(const QString& field)
{
    return QString::fromUtf8(QByteArray::fromBase64(field.toLatin1()));
}

// The companion app sends milliseconds since 1970; C++ division truncates toward zero.
qint32 appleSecondsFromUnixMs(const QString& field)
{
    return qint32(field.toLongLong() / 1000 - appleEpochUnixSeconds);
}

} // namespace

int loadProgress(int count, int total)
{
    return int(double(count) / total * 100);
}

AndroidLoadSMSThread::AndroidLoadSMSThread(AndroidDevice* device, ProgressForm* form, QObject* parent)
    : QThread(parent)
    , device(device)
    , form(form)
    , exporter(device->cacheDir(), device->mmc)
    , country(device->mmc)
{
}

AndroidLoadSMSThread::~AndroidLoadSMSThread() = default;

void AndroidLoadSMSThread::run()
{
    total = -1;
    count = 0;
    form->postProgress(tr("IDS_ANDROID_LOADING_SMS"), 0, QString());
    if (!removeOldCache())
        return;
    const simpleprotocol::CancelFlag cancel = &form->rejected;
    try {
        exporter.begin();
        const std::unique_ptr<QTcpSocket> socket =
            device->openSession(backupSessionUrl(session_port_next()), sessionLimitMs, cancel);
        for (;;) {
            const QString line = simpleprotocol::readCommand(socket.get(), -1, cancel);
            if (line.startsWith(QLatin1String("$bye:")))
                break;
            if (line.startsWith(QLatin1String("$count:"))) {
                total = line.mid(7).toInt();
                if (total == 0)
                    total = -1;
            } else if (line.startsWith(QLatin1String("$batch:"))) {
                readBatch(socket.get());
            }
        }
        simpleprotocol::writeCommand(socket.get(), QStringLiteral("$bye:"), QString(), true, -1, cancel);
        socket->disconnectFromHost();
        exporter.end();
        form->postSucceed(QString());
    } catch (const simpleprotocol::CancelledException&) {
        exporter.abandon(); // the dialog is already closed
    } catch (const std::exception& e) {
        exporter.abandon();
        form->postError(QString::fromUtf8(e.what()));
    }
}

bool AndroidLoadSMSThread::removeOldCache()
{
    // A log left beside a new file of the same name would be replayed into it.
    const QString database = exporter.messageDb.databasePath();
    for (const QString& path : {database, database + QStringLiteral("-journal"), database + QStringLiteral("-wal"),
                                database + QStringLiteral("-shm")}) {
        const QFileInfo file(path);
        if ((file.exists() || file.isSymLink()) && !QFile::remove(path)) {
            form->postError(tr("can not overwrite %1.").arg(path));
            return false;
        }
    }
    return true;
}

void AndroidLoadSMSThread::readBatch(QTcpSocket* socket)
{
    const simpleprotocol::CancelFlag cancel = &form->rejected;
    for (;;) {
        if (form->rejected)
            throw simpleprotocol::CancelledException();
        const QString line = simpleprotocol::readCommand(socket, -1, cancel);
        if (line.startsWith(QLatin1String("$end:")))
            break;
        if (!line.startsWith(QLatin1String("$sms:")))
            continue;
        ++count;
        form->postProgress(QString(), loadProgress(count, total), QStringLiteral("sms: %1/%2").arg(count).arg(total));
        parseSms(line.mid(5));
    }
    simpleprotocol::writeCommand(socket, QStringLiteral("$batch:"), QString(), true, -1, cancel);
}

void AndroidLoadSMSThread::parseSms(const QString& payload)
{
    const QStringList fields = payload.split(QLatin1Char(','), Qt::KeepEmptyParts);
    if (fields.size() < recordFields)
        return;
    const QString address = country.defaultCountry().canonicalizePhoneNumber(decodeField(fields[2]));

    _MsgHandle handle;
    handle.id = address;
    handle.service = QStringLiteral("SMS");
    handle._ct_name = decodeField(fields[3]);

    _MsgChat chat;
    chat.guid = QStringLiteral("SMS;-;") + address;
    chat.style = 45;
    chat.state = 3;
    chat.chat_identifier = address;
    chat.service_name = QStringLiteral("SMS");
    chat.account_login = QStringLiteral("E:");
    chat.handles.insert(address, &handle);

    _MsgMessage message;
    message.handle = &handle;
    message.chat = &chat;
    message.text = decodeField(fields[4]);
    message.replace = 0;
    message.subject = decodeField(fields[5]);
    message.version = 10;
    message.type = 0;
    message.service = QStringLiteral("SMS");
    message.account = QStringLiteral("e:");
    message.error = 0;
    message.date = message.date_read = message.date_delivered = appleSecondsFromUnixMs(fields[0]);
    message.is_delivered = 0;
    message.is_finished = 1;
    message.is_emote = 0;
    message.is_from_me = fields[1].toInt() == 1 ? 1 : 0;
    message.is_empty = 0;
    message.is_delayed = 0;
    message.is_auto_reply = 0;
    message.is_prepared = 1;
    message.is_read = 1;
    message.is_system_message = 0;
    message.is_sent = 1;
    message.has_dd_results = 0;
    message.is_service_message = 0;
    message.is_forward = 0;
    message.was_downgraded = 0;
    message.is_archive = 0;
    message.cache_has_attachments = 0;
    message.was_data_detected = 1;
    message.was_deduplicated = 0;
    // The fingerprint covers the fields above, so the guid comes last.
    message.guid = guidFromBytes(message.logicHash().toUtf8());
    exporter.write(message);
}
