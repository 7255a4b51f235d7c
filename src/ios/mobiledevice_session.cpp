#include "ios/mobiledevice_session.h"

#include "ios/mobiledevice_library.h"

#include "frame/ErrorMarkup.h"

namespace {

QString sessionMessage(const char* call, int code)
{
    return QStringLiteral("Please restart your iPhone and computer to try again. If a prompt message pops out on "
                          "your iPhone, please click \"Trust\".<br/><br/>Error code: %1(%2)")
        .arg(QLatin1String(call))
        .arg(code);
}

QString serviceMessage(const char* serviceName, int code)
{
    return QStringLiteral("Please turn off Wifi Sync on iTunes to try again.<br/>To do this:  Launch iTunes -&gt; "
                          "Connect your device -&gt; Go Summary -&gt; Options -&gt; Uncheck Sync with this device "
                          "over Wi-Fi.<br/><br/>Error code: AMDeviceStartService(%1)=%2")
        .arg(QString::fromUtf8(serviceName))
        .arg(code);
}

AMDeviceRef handle(void* device)
{
    return static_cast<AMDeviceRef>(device);
}

// Opens a session for the scope of one operation; throws when it cannot.
class LockdownSession
{
public:
    explicit LockdownSession(void* device) : m_device(device)
    {
        QString message;
        if (mobiledevice_connect_session(device, message) != 0)
            throw MarkupError(message);
    }
    ~LockdownSession() { mobiledevice_disconnect_session(m_device); }
    Q_DISABLE_COPY_MOVE(LockdownSession)

private:
    void* m_device;
};

CFStringRef stringRef(const CFType& string)
{
    return static_cast<CFStringRef>(string.ref());
}

} // namespace

int mobiledevice_connect_session(void* device, QString& message)
{
    if (!device) {
        message = sessionMessage("AMDeviceConnect", mobiledeviceNoDeviceError);
        return mobiledeviceNoDeviceError;
    }
    // After a failed connect, pairing or validation nothing is closed: the library keeps
    // a connection per phone, and connecting again is harmless.
    int result = MOBILEDEVICE_FN(AMDeviceConnect)(handle(device));
    if (result != 0) {
        message = sessionMessage("AMDeviceConnect", result);
        return result;
    }
    if (MOBILEDEVICE_FN(AMDeviceIsPaired)(handle(device)) == 0) {
        result = MOBILEDEVICE_FN(AMDevicePair)(handle(device));
        if (result != 0) {
            message = sessionMessage("AMDevicePair", result);
            return result;
        }
    }
    result = MOBILEDEVICE_FN(AMDeviceValidatePairing)(handle(device));
    if (result != 0) {
        message = sessionMessage("AMDeviceValidatePairing", result);
        return result;
    }
    result = MOBILEDEVICE_FN(AMDeviceStartSession)(handle(device));
    if (result != 0) {
        MOBILEDEVICE_FN(AMDeviceDisconnect)(handle(device));
        message = sessionMessage("AMDeviceStartSession", result);
    }
    return result;
}

void mobiledevice_disconnect_session(void* device)
{
    if (!device)
        return;
    MOBILEDEVICE_FN(AMDeviceStopSession)(handle(device));
    MOBILEDEVICE_FN(AMDeviceDisconnect)(handle(device));
}

bool mobiledevice_is_attached(void* device)
{
    if (!device || MOBILEDEVICE_FN(AMDeviceConnect)(handle(device)) != 0)
        return false;
    MOBILEDEVICE_FN(AMDeviceDisconnect)(handle(device));
    return true;
}

void mobiledevice_start_service(void* device, const char* serviceName, int* socket)
{
    int result;
    {
        const LockdownSession session(device);
        const CFType name = CFType::fromString(QString::fromUtf8(serviceName));
        result = MOBILEDEVICE_FN(AMDeviceStartService)(handle(device), stringRef(name), socket, nullptr);
    }
    if (result != 0)
        throw MarkupError(serviceMessage(serviceName, result));
}

QList<CFType> mobiledevice_copy_values(void* device, const QStringList& keys, const QString& domain)
{
    const LockdownSession session(device);
    const CFType domainRef = domain.isEmpty() ? CFType() : CFType::fromString(domain);
    QList<CFType> values;
    values.reserve(keys.size());
    for (const QString& key : keys) {
        const CFType keyRef = key.isEmpty() ? CFType() : CFType::fromString(key);
        values.append(
            CFType(MOBILEDEVICE_FN(AMDeviceCopyValue)(handle(device), stringRef(domainRef), stringRef(keyRef)), true));
    }
    return values;
}

int mobiledevice_set_value(void* device, const QString& domain, const QString& key, const CFType& value)
{
    const LockdownSession session(device);
    // An empty domain goes as an empty string, not as null.
    const CFType domainRef = CFType::fromString(domain);
    const CFType keyRef = CFType::fromString(key);
    return MOBILEDEVICE_FN(AMDeviceSetValue)(handle(device), stringRef(domainRef), stringRef(keyRef), value.ref());
}

QString mobiledevice_copy_device_identifier(void* device)
{
    const LockdownSession session(device);
    return CFType(MOBILEDEVICE_FN(AMDeviceCopyDeviceIdentifier)(handle(device)), true).toString();
}
