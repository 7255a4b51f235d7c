#include "ios/mobiledevice_sync.h"

#include "ios/mobiledevice_link.h"
#include "ios/mobiledevice_session.h"
#include "ios/mobiledevice_socket.h"

#include <stdexcept>

namespace {

constexpr int timeoutMs = 60000;
constexpr int finishTimeoutMs = 3600000;
constexpr qint32 syncProtocolVersion = 106;

CFType text(const QString& value)
{
    return CFType::fromString(value);
}

CFType message(const char* name, const QString& dataClass)
{
    CFType array = CFType::createArray();
    array.append(text(QString::fromLatin1(name)));
    array.append(text(dataClass));
    return array;
}

[[noreturn]] void invalidFeedback(const CFType& sent, const CFType& reply)
{
    const QString xml = QString::fromUtf8(reply.toData(kCFPropertyListXMLFormat_v1_0));
    throw std::runtime_error(
        QStringLiteral("invalid feedback after send %1.\n%2").arg(sent.at(0).toString(), xml).toStdString());
}

CFType exchange(int socket, const CFType& message, int receiveTimeoutMs = timeoutMs)
{
    mobiledevice_sendmsg(socket, message, false, timeoutMs);
    return mobiledevice_recmsg(socket, message, receiveTimeoutMs);
}

CFType exchangeExpecting(int socket, const CFType& message, const char* expected)
{
    const CFType reply = exchange(socket, message);
    if (reply.at(0).toString() != QLatin1String(expected))
        invalidFeedback(message, reply);
    return reply;
}

} // namespace

void mobiledevice_sync_start_session(void* device, const mobiledevice_sync_anchors& anchors, int* socket, bool ping)
{
    mobiledevice_start_service(device, "com.apple.mobilesync", socket);
    mobiledevice_link_version_exchange(*socket);
    CFType opening = message("SDMessageSyncDataClassWithDevice", anchors.dataClass);
    opening.append(text(anchors.deviceAnchor));
    opening.append(text(anchors.computerAnchor));
    opening.append(CFType::fromInt32(syncProtocolVersion));
    exchangeExpecting(*socket, opening, "SDMessageSyncDataClassWithComputer");
    if (ping) {
        CFType pingMessage = CFType::createArray();
        pingMessage.append(text(QStringLiteral("DLMessagePing")));
        pingMessage.append(text(QStringLiteral("Preparing to get changes for device")));
        mobiledevice_sendmsg(*socket, pingMessage, false, timeoutMs);
    }
}

QList<CFType> mobiledevice_sync_get_all_records(int socket, const QString& dataClass, qint64 maxRecordBytes)
{
    const CFType request = message("SDMessageGetAllRecordsFromDevice", dataClass);
    mobiledevice_sendmsg(socket, request, false, timeoutMs);
    QList<CFType> records;
    qint64 recordBytes = 0;
    for (;;) {
        const CFType received = mobiledevice_recmsg(socket, request, timeoutMs);
        const QString name = received.at(0).toString();
        if (name == QLatin1String("SDMessageDeviceReadyToReceiveChanges"))
            return records;
        if (name != QLatin1String("SDMessageProcessChanges"))
            invalidFeedback(request, received);
        const CFType batch = received.at(2);
        if (batch.isDictionary()) {
            // An independent copy, as CFType::deepCopy makes it, measured on the way.
            const QByteArray xml = batch.toData(kCFPropertyListXMLFormat_v1_0);
            recordBytes += xml.size();
            if (recordBytes > maxRecordBytes)
                throw std::runtime_error(
                    QStringLiteral("mobiledevice_sync_get_all_records: the device sent more than %1 MiB of records.")
                        .arg(maxRecordBytes / (1024 * 1024))
                        .toStdString());
            records.append(CFType::fromData(xml));
        }
        mobiledevice_sendmsg(socket, message("SDMessageAcknowledgeChangesFromDevice", dataClass), false, timeoutMs);
    }
}

CFType mobiledevice_sync_process_changes(int socket, const CFType& entities, const QString& dataClass,
                                         const CFType& actions)
{
    CFType changes = message("SDMessageProcessChanges", dataClass);
    changes.append(entities);
    changes.append(CFType::fromBool(false));
    changes.append(actions);
    const CFType reply = exchangeExpecting(socket, changes, "SDMessageRemapRecordIdentifiers");
    return CFType::deepCopy(reply.at(2));
}

void mobiledevice_sync_clear_all_records(int socket, const QString& dataClass)
{
    CFType clear = message("SDMessageClearAllRecordsOnDevice", dataClass);
    clear.append(text(QString::fromLatin1(mobiledeviceEmptyParameter)));
    exchangeExpecting(socket, clear, "SDMessageDeviceWillClearAllRecords");
}

void mobiledevice_sync_finish_session(int socket, const QString& dataClass)
{
    exchange(socket, message("SDMessageFinishSessionOnDevice", dataClass), finishTimeoutMs);
}

int mobiledevice_disable_tethered_sync(void* device, const QString& dataClass, bool disable)
{
    CFType setting = CFType::createDictionary();
    setting.setValue(text(QStringLiteral("DisableTethered")), CFType::fromBool(disable));
    return mobiledevice_set_value(device, QStringLiteral("com.apple.mobile.tethered_sync"), dataClass, setting);
}
