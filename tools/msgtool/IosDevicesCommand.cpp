#include "Command.h"

#include "IosArrivals.h"

#include "ios/mobiledevice_session.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>

#include <algorithm>
#include <stdexcept>

namespace {

QJsonValue textOrNull(const CFType& value)
{
    return value.ref() ? QJsonValue(value.valueText()) : QJsonValue(QJsonValue::Null);
}

QJsonValue iosDevices(const QStringList& arguments)
{
    QStringList args = arguments;
    const int waitMs = takeWaitOption(args);
    if (!args.isEmpty())
        throw UsageError("expected nothing or --wait SECONDS");
    IosArrivals arrivals;
    arrivals.wait(waitMs);

    QList<QJsonObject> phones;
    QJsonArray failed;
    const QStringList keys{QStringLiteral("UniqueDeviceID"), QStringLiteral("DeviceName"),
                           QStringLiteral("ProductType"), QStringLiteral("ProductVersion"),
                           QStringLiteral("MobileSubscriberCountryCode")};
    for (void* handle : std::as_const(arrivals.attached)) {
        try {
            const QList<CFType> values = mobiledevice_copy_values(handle, keys, QString());
            phones.append(QJsonObject{{"udid", textOrNull(values[0])},
                                      {"name", textOrNull(values[1])},
                                      {"product_type", textOrNull(values[2])},
                                      {"product_version", textOrNull(values[3])},
                                      {"country", textOrNull(values[4])}});
        } catch (const std::runtime_error& e) {
            failed.append(QJsonObject{{"udid", QJsonValue::Null}, {"error", QString::fromUtf8(e.what())}});
        }
    }
    std::stable_sort(phones.begin(), phones.end(), [](const QJsonObject& a, const QJsonObject& b) {
        return a.value("udid").toString() < b.value("udid").toString();
    });
    QJsonArray result;
    for (const QJsonObject& phone : std::as_const(phones))
        result.append(phone);
    for (const QJsonValue& failure : std::as_const(failed))
        result.append(failure);
    return result;
}

} // namespace

MSGTOOL_COMMAND("ios-devices", "[--wait SECONDS]", iosDevices);
