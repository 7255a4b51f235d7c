#pragma once

// Simulated phones plugged in below a SIMDEVICE_ROOT of the test's own, their arrival
// delivered to this object as the main window receives it, read as the arrival reads it.
// A test that uses it includes "moc_SimPhoneArrivals.cpp" once.

#include "SimPhoneFixture.h"

#include "ios/IOSDevice.h"
#include "ios/mobiledevice_notification.h"

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QTest>

class SimPhoneArrivals : public QObject
{
    Q_OBJECT

public:
    // Subscribes, which the process does once: one object per test program.
    explicit SimPhoneArrivals(const QString& root) : m_root(root)
    {
        qputenv("SIMDEVICE_ROOT", QFile::encodeName(root));
        mobiledevice_notification_context& context = mobiledevice_notification();
        context.receiver = this;
        context.connectedSlot = "iosDeviceConnected";
        context.disconnectedSlot = "iosDeviceDisconnected";
        mobiledevice_subscribe_notification(&context);
    }
    ~SimPhoneArrivals() override { mobiledevice_notification().receiver = nullptr; }

    // A new phone of iOS 7.1.2 (extraArgs of make-phone may change it), once it arrived;
    // a record without a handle when it did not.
    IOSDevice plugIn(const QString& udid, const QJsonObject& sim = {}, const QStringList& extraArgs = {})
    {
        const qsizetype before = m_arrived.size();
        if (!makePhone(m_root, udid, sim, extraArgs) || !QTest::qWaitFor([&] { return m_arrived.size() > before; }, 5000))
            return IOSDevice();
        return IOSDevice::read(m_arrived.last());
    }

    QString folder(const QString& udid) const { return m_root + QLatin1Char('/') + udid; }

public slots:
    void iosDeviceConnected(void* handle) { m_arrived.append(handle); }
    void iosDeviceDisconnected(void*) {}

private:
    QString m_root;
    QList<void*> m_arrived;
};

// Runs a python statement on v, the phone's values.plist as plistlib reads it, and saves v.
inline bool editPhoneValues(const QString& phoneFolder, const QString& statement)
{
    const CliResult r = python(QStringLiteral("import plistlib,sys;p=sys.argv[1];v=plistlib.load(open(p,'rb'));%1;"
                                              "plistlib.dump(v,open(p,'wb'))")
                                   .arg(statement),
                               {phoneFolder + QStringLiteral("/values.plist")});
    if (r.exitCode != 0)
        qWarning("editing values.plist failed: %s", r.err.constData());
    return r.exitCode == 0;
}
