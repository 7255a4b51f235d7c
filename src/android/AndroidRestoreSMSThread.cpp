#include "android/AndroidRestoreSMSThread.h"

#include "android/AndroidDevice.h"
#include "android/AndroidLog.h"
#include "android/simpleprotocol.h"

#include "frame/ReportedRun.h"
#include "frame/WorkerReport.h"
#include "model/AppleTime.h"
#include "model/MsgHandle.h"
#include "model/SafeSort.h"
#include "model/SortPredicates.h"

#include <QTcpSocket>

#include <exception>
#include <memory>

namespace {

constexpr int sessionLimitMs = 10000;
constexpr int batchLimit = 100;

// Nested in the whole run's transaction: one per batch, released on the phone's acknowledgement.
const char batchSavepoint[] = "SAVEPOINT unacknowledged_batch";
const char releaseBatch[] = "RELEASE unacknowledged_batch";
const char dropBatch[] = "ROLLBACK TO unacknowledged_batch";

QString base64Utf8(const QString& text)
{
    return QString::fromLatin1(text.toUtf8().toBase64());
}

} // namespace

QString restoreRecord(const _MsgMessage& message)
{
    const qint64 unixMs = (qint64(message.date) + appleEpochUnixSeconds) * 1000;
    return QStringLiteral("%1,%2,%3,%4")
        .arg(unixMs)
        .arg(message.is_from_me != 0 ? 1 : 0)
        .arg(base64Utf8(message.handle ? message.handle->id : QString()), base64Utf8(message.plainText()));
}

AndroidRestoreSMSThread::AndroidRestoreSMSThread(AndroidDevice* device, const QList<_MsgMessage*>& messages,
                                                 WorkerReport* form, QObject* parent)
    : QThread(parent)
    , device(device)
    , form(form)
    , exporter(device->cacheDir(), device->mmc)
{
    for (_MsgMessage* message : messages) {
        if (message->item_type != 0 || !message->handle)
            ++skipped;
        else
            this->messages.append(message);
    }
    safeSort(this->messages, messageLessThan);
}

AndroidRestoreSMSThread::~AndroidRestoreSMSThread() = default;

void AndroidRestoreSMSThread::run()
{
    handled = 0;
    sent = 0;
    batchOpen = false;
    form->postProgress(tr("IDS_RESTORING_SMS_TO_ANDROID"), 0, QString());
    const simpleprotocol::CancelFlag cancel = &form->rejected;
    std::unique_ptr<QTcpSocket> socket;
    // A cancel ends the session with simpleprotocol::CancelledException once the report is
    // rejected; runReported then reports nothing. What the phone acknowledged is kept
    // whatever the end.
    runReported(
        *form,
        [&] {
            device->confirmIdentity(cancel);
            exporter.begin();
            socket = device->openSession(restoreSessionUrl(session_port_next()), sessionLimitMs, cancel);
            waitUntilDefaultSmsApp(socket.get());
            sendBatches(socket.get());
            simpleprotocol::writeCommand(socket.get(), simpleprotocol::keyword::bye, QString(), true, -1, cancel);
            socket->disconnectFromHost();
            socket.reset();
            keepAcknowledged();
            QString done = tr("IDS_SUC_RESTORE_%1_SMS_TO_ANDROID").arg(handled);
            if (skipped != 0)
                done += tr("IDS_SKIP_%1_SMS_GROUP_OR_SYS_MESSAGES").arg(skipped);
            form->postSucceed(done);
        },
        [&] {
            socket.reset();
            keepAcknowledged();
        });
}

void AndroidRestoreSMSThread::waitUntilDefaultSmsApp(QTcpSocket* socket)
{
    const simpleprotocol::CancelFlag cancel = &form->rejected;
    // The phone answers this at once; only the acknowledgements keep no limit, as the first
    // may wait for the person to answer the phone's question.
    const QString line = simpleprotocol::expectReply(socket, simpleprotocol::keyword::defaultSmsApp,
                                                     simpleprotocol::silenceLimitMs(), cancel);
    if (line.mid(simpleprotocol::keyword::defaultSmsApp.size()).toInt() == 0)
        return;
    form->postTipsWait(tr("Please click \"YES\" to temporarily set our Veltrominex app as your default SMS app when "
                          "the message pops out on your Android's screen. Then click the \"OK\" button to start "
                          "transferring messages to your Android.<br/><br/>Note: It will resume your default "
                          "Messaging app settings after transferring messages to Android."));
    form->waitForTips();
    checkCancel();
    simpleprotocol::writeCommand(socket, simpleprotocol::keyword::defaultSmsApp, QString(), true, -1, cancel);
}

void AndroidRestoreSMSThread::sendBatches(QTcpSocket* socket)
{
    const simpleprotocol::CancelFlag cancel = &form->rejected;
    const int n = int(messages.size());
    if (n < 1)
        return;
    checkCancel();
    for (;;) {
        simpleprotocol::writeCommand(socket, simpleprotocol::keyword::batch, QString(), true, -1, cancel);
        const int batchSize = std::min(n - handled, batchLimit);
        exporter.messageDb.executeThrow(batchSavepoint);
        batchOpen = true;
        if (batchSize > 0)
            checkCancel();
        for (int i = 0; i < batchSize; ++i) {
            const _MsgMessage& message = *messages[handled];
            ++handled;
            form->postProgress(QString(), int(double(handled) / n * 100), tr("SMS: %1/%2").arg(handled).arg(n));
            if (!exporter.messageDb.findMessageByLogicHash(message)) {
                simpleprotocol::writeCommand(socket, simpleprotocol::keyword::sms, restoreRecord(message), false, -1,
                                             cancel);
                ++sent;
            }
            exporter.write(message);
            if (i + 1 < batchSize)
                checkCancel();
        }
        simpleprotocol::writeCommand(socket, simpleprotocol::keyword::end, QString(), true, -1, cancel);
        simpleprotocol::expectReply(socket, simpleprotocol::keyword::batch, -1, cancel);
        exporter.messageDb.executeThrow(releaseBatch);
        batchOpen = false;
        if (handled >= n)
            return;
        checkCancel();
    }
}

void AndroidRestoreSMSThread::checkCancel() const
{
    if (form->rejected)
        throw simpleprotocol::CancelledException();
}

void AndroidRestoreSMSThread::keepAcknowledged() noexcept
{
    try {
        if (batchOpen) {
            exporter.messageDb.executeThrow(dropBatch);
            exporter.messageDb.executeThrow(releaseBatch);
            batchOpen = false;
        }
        exporter.end();
    } catch (const std::exception& e) {
        // The phone has the messages; a cache that missed them only makes a retry send them again.
        qCWarning(lcAndroid, "AndroidRestoreSMSThread: the cache database keeps nothing of this run. %s", e.what());
        exporter.abandon();
    }
}
