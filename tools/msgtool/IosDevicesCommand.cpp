#include "Command.h"

#include "ios/mobiledevice_notification.h"
#include "ios/mobiledevice_session.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

// Keeps the attached phones in arrival order, as the main window would learn of them.
class ArrivalCollector : public QObject
{
    Q_OBJECT
public:
    QList<void*> attached;

public slots:
    void iosDeviceConnected(void* handle)
    {
        if (!attached.contains(handle))
            attached.append(handle);
    }
    void iosDeviceDisconnected(void* handle) { attached.removeAll(handle); }
};

int waitMilliseconds(const QStringList& args)
{
    if (args.isEmpty())
        return 3000;
    bool ok = false;
    const double seconds = args.size() == 2 && args[0] == QLatin1String("--wait") ? args[1].toDouble(&ok) : -1;
    if (!ok || !(seconds >= 0) || seconds > 86400)
        throw UsageError("expected nothing or --wait SECONDS");
    return int(std::lround(seconds * 1000));
}

QJsonValue textOrNull(const CFType& value)
{
    return value.ref() ? QJsonValue(value.valueText()) : QJsonValue(QJsonValue::Null);
}

QJsonValue iosDevices(const QStringList& args)
{
    const int waitMs = waitMilliseconds(args);
    ArrivalCollector collector;
    mobiledevice_notification_context& context = mobiledevice_notification();
    context.receiver = &collector;
    context.connectedSlot = "iosDeviceConnected";
    context.disconnectedSlot = "iosDeviceDisconnected";
    mobiledevice_subscribe_notification(&context);

    QEventLoop loop;
    QTimer::singleShot(waitMs, &loop, &QEventLoop::quit);
    loop.exec();
    context.receiver = nullptr;

    QList<QJsonObject> phones;
    QJsonArray failed;
    const QStringList keys{QStringLiteral("UniqueDeviceID"), QStringLiteral("DeviceName"),
                           QStringLiteral("ProductType"), QStringLiteral("ProductVersion"),
                           QStringLiteral("MobileSubscriberCountryCode")};
    for (void* handle : std::as_const(collector.attached)) {
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

#include "IosDevicesCommand.moc"
