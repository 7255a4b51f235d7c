#include "ios/mobiledevice_backup2.h"

#include "ios/IosLog.h"
#include "ios/mobiledevice_link.h"
#include "ios/mobiledevice_session.h"
#include "ios/mobiledevice_socket.h"

#include <QDebug>

#include <stdexcept>

namespace {

constexpr int timeoutMs = 60000;
constexpr int noCommonVersion = 1;

CFType key(const char* name)
{
    return CFType::fromString(QString::fromLatin1(name));
}

CFType textOrPlaceholder(const QString& text)
{
    return CFType::fromString(text.isEmpty() ? QString::fromLatin1(mobiledeviceEmptyParameter) : text);
}

// Copies one key of options into the request when options holds it (the same value).
void takeOption(CFType& request, const CFType& options, const char* name)
{
    const CFType value = options.value(key(name));
    if (value.ref())
        request.setValue(key(name), value);
}

} // namespace

void mobiledevice_backup2_start(void* device, int* socket)
{
    mobiledevice_start_service(device, "com.apple.mobilebackup2", socket);
    mobiledevice_link_version_exchange(*socket);
}

double mobiledevice_backup2_version_exchange(int socket, const double* versions, qint8 count)
{
    CFType supported = CFType::createArray();
    for (int i = 0; versions && i < count; ++i)
        supported.append(CFType::fromDouble(versions[i]));
    CFType hello = CFType::createDictionary();
    hello.setValue(key("SupportedProtocolVersions"), supported);
    const CFType sent = mobiledevice_backup2_send_message(socket, QStringLiteral("Hello"), hello);

    int errorCode = 0;
    const CFType response = mobiledevice_backup2_receive_response(socket, &errorCode, sent);
    if (errorCode == noCommonVersion)
        throw std::runtime_error("mobiledevice_backup2_version_exchange: MOBILEBACKUP2_E_NO_COMMON_VERSION");
    if (errorCode != 0)
        throw std::runtime_error("mobiledevice_backup2_version_exchange: MOBILEBACKUP2_E_REPLY_NOT_OK");
    return response.value(key("ProtocolVersion")).toDouble(0.0);
}

CFType mobiledevice_backup2_send_message(int socket, const QString& name, CFType& dictionary)
{
    dictionary.setValue(key("MessageName"), CFType::fromString(name));
    return mobiledevice_link_send_process_message(socket, dictionary);
}

CFType mobiledevice_backup2_send_request(int socket, const QString& request, const QString& targetIdentifier,
                                         const QString& sourceIdentifier, const CFType& options)
{
    CFType dictionary = CFType::createDictionary();
    dictionary.setValue(key("TargetIdentifier"), CFType::fromString(targetIdentifier));
    if (!sourceIdentifier.isEmpty())
        dictionary.setValue(key("SourceIdentifier"), CFType::fromString(sourceIdentifier));
    if (options.ref()) {
        dictionary.setValue(key("Options"), options);
        if (request == QLatin1String("Unback"))
            takeOption(dictionary, options, "Password");
        if (request == QLatin1String("EnableCloudBackup"))
            takeOption(dictionary, options, "CloudBackupState");
    }
    return mobiledevice_backup2_send_message(socket, request, dictionary);
}

int mobiledevice_backup2_response_error(const CFType& dictionary, const CFType& message)
{
    if (dictionary.value(key("MessageName")).toString() != QLatin1String("Response"))
        throw std::runtime_error(QStringLiteral("Did not receive a message(\"Message Name\" is \"Response\").\n%1")
                                     .arg(QString::fromUtf8(message.toData(kCFPropertyListXMLFormat_v1_0)))
                                     .toStdString());
    return dictionary.value(key("ErrorCode")).toInt(0);
}

CFType mobiledevice_backup2_receive_response(int socket, int* errorCode, const CFType& request, CFType* message)
{
    CFType received;
    const CFType dictionary = mobiledevice_link_sc_recv_process_message(socket, request, &received);
    const int code = mobiledevice_backup2_response_error(dictionary, received);
    if (errorCode)
        *errorCode = code;
    if (message)
        *message = received;
    return dictionary;
}

void mobiledevice_backup2_receive_message(int socket, CFType& message, QString& name)
{
    mobiledevice_link_sc_recv_dlmessaeg(socket, message, name, CFType());
}

CFType mobiledevice_backup2_send_status_response(int socket, int statusCode, const QString& statusText,
                                                 const CFType& statusValue)
{
    CFType status = CFType::createArray();
    status.append(key("DLMessageStatusResponse"));
    status.append(CFType::fromInt32(statusCode));
    status.append(textOrPlaceholder(statusText));
    status.append(statusValue.ref() ? statusValue : textOrPlaceholder({}));
    mobiledevice_sendmsg(socket, status, true, timeoutMs);
    return CFType::deepCopy(status);
}

void mobiledevice_backup2_set_cloud_backup(int socket, const QString& deviceIdentifier, bool enable)
{
    qCDebug(lcIos, "Set EnableCloudBackup: %d", enable ? 1 : 0);
    CFType options = CFType::createDictionary();
    options.setValue(key("CloudBackupState"), CFType::fromBool(enable));
    mobiledevice_backup2_send_request(socket, QStringLiteral("EnableCloudBackup"), deviceIdentifier, deviceIdentifier,
                                      options);
    int errorCode = 0;
    mobiledevice_backup2_receive_response(socket, &errorCode, CFType());
    if (errorCode != 0)
        throw std::runtime_error(QStringLiteral("Set EnableCloudBackup error code: %1").arg(errorCode).toStdString());
}

void mobiledevice_backup2_request_backup(int socket, const QString& deviceIdentifier, bool full)
{
    qCDebug(lcIos, "Requesting backup from device, %s", full ? "Full backup mode" : "Incremental backup mode");
    CFType options;
    if (full) {
        options = CFType::createDictionary();
        options.setValue(key("ForceFullBackup"), CFType::fromBool(true));
    }
    mobiledevice_backup2_send_request(socket, QStringLiteral("Backup"), deviceIdentifier, deviceIdentifier, options);
}
