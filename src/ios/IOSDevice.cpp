#include "ios/IOSDevice.h"

#include "frame/DataFolder.h"
#include "ios/IosLog.h"
#include "ios/mobiledevice_session.h"

#include <QRegularExpression>
#include <QtDebug>

#include <algorithm>
#include <stdexcept>

namespace {

const QString backupDomain = QStringLiteral("com.apple.mobile.backup");

bool isPlainIdCharacter(QChar c)
{
    return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
           || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-');
}

} // namespace

IOSDevice::~IOSDevice() = default;

IOSDevice IOSDevice::read(void* handle)
{
    const QList<CFType> values = mobiledevice_copy_values(
        handle,
        {QStringLiteral("UniqueDeviceID"), QStringLiteral("DeviceName"), QStringLiteral("MobileSubscriberCountryCode"),
         QStringLiteral("ProductVersion"), QStringLiteral("ProductType")},
        QString());
    IOSDevice device;
    device.uniqueDeviceId = values.at(0).toString();
    device.deviceName = values.at(1).toString();
    device.countryCode = values.at(2).toString();
    device.productVersion = values.at(3).toString();
    device.productType = values.at(4).toString();
    device.handle = handle;
    return device;
}

bool IOSDevice::isPlainDeviceId(const QString& id)
{
    return !id.isEmpty() && id.size() <= 64 && std::all_of(id.cbegin(), id.cend(), isPlainIdCharacter);
}

QDir IOSDevice::cacheDir() const
{
    // The identifier comes from the phone: "../" or "/" in it would lead out of "ios_cache".
    if (!isPlainDeviceId(uniqueDeviceId)) {
        qCWarning(lcIos) << "iPhone cache: refused the identifier" << uniqueDeviceId;
        throw std::runtime_error("This iPhone reports an identifier that cannot name its cache folder.");
    }
    const QDir folder(appDataDir().absoluteFilePath(QStringLiteral("ios_cache/") + uniqueDeviceId));
    QDir().mkpath(folder.absolutePath());
    return folder;
}

QList<int> IOSDevice::versionNumbers() const
{
    static const QRegularExpression number(QStringLiteral("\\.?(\\d+)"));
    QList<int> numbers;
    for (QRegularExpressionMatchIterator it = number.globalMatch(productVersion); it.hasNext();)
        numbers.append(it.next().captured(1).toInt());
    return numbers;
}

std::optional<IOSDevice::SettingsRefusal> IOSDevice::backupSettingsRefusal(bool checkCloud, bool checkEncrypt) const
{
    try {
        const QList<CFType> values = mobiledevice_copy_values(handle, {QString()}, backupDomain);
        if (values.isEmpty())
            return std::nullopt;
        const CFType& settings = values.first();
        if (checkCloud && settings.value(QStringLiteral("CloudBackupEnabled")).toBool(false))
            return cloudBackupRefusal();
        if (checkEncrypt && settings.value(QStringLiteral("WillEncrypt")).toBool(false))
            return encryptedBackupRefusal();
    } catch (const std::exception& e) {
        // A phone that cannot be asked does not stop the operation; the operation's own
        // session then reports what is wrong.
        qCWarning(lcIos) << "iPhone backup settings:" << e.what();
    }
    return std::nullopt;
}

IOSDevice::SettingsRefusal IOSDevice::cloudBackupRefusal()
{
    return {
        QStringLiteral("Failed to transfer data to device. Please turn off iCloud backup on your iPhone to try again."),
        QStringLiteral(":res/close_icloudbk.jpg")};
}

IOSDevice::SettingsRefusal IOSDevice::encryptedBackupRefusal()
{
    return {QStringLiteral("Failed to transfer data to device. Your iTunes backup is encrypted. Please run iTunes on "
                           "computer and then uncheck \"Encrypt iPhone backup\" option to try again."),
            QStringLiteral(":res/close_itunesbkenc.jpg")};
}
