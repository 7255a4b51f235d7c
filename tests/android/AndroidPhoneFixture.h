#pragma once

// A USB phone with the companion app for the reading and sending threads: the fake adb
// lists it, the simulated app serves its sessions, and the device record is what the
// connection thread would have read from it.

#include "android/AndroidDevice.h"
#include "support/FakeAdb.h"

#include <QJsonArray>
#include <QJsonObject>

inline const QString phoneSerial = QStringLiteral("emulator-5554");

// scenario: the simulated app's switches; extra: other keys of phone.json.
inline void addPhone(FakeAdb& fake, const QJsonObject& scenario = {}, const QJsonObject& extra = {})
{
    fake.setDevices({{phoneSerial, QStringLiteral("device")}});
    fake.serverAlreadyUp();
    QJsonObject phone = extra;
    phone.insert("packages", QJsonArray{"android", "com.veltrominex.smssync"});
    phone.insert("scenario", scenario);
    fake.setPhone(phoneSerial, phone);
}

inline AndroidDevice phoneRecord()
{
    AndroidDevice device;
    device.serial = phoneSerial;
    device.imei = QStringLiteral("356938035643809");
    device.mmc = QStringLiteral("262");
    device.version = 10;
    return device;
}

inline QString cacheDatabase(const AndroidDevice& device)
{
    return device.cacheDir().filePath(QStringLiteral("file-relay/var/mobile/Library/SMS/sms.db"));
}

// The lines of the phone's log that went one way ("in": from the program), without their address.
inline QStringList phoneLines(const FakeAdb& fake, const QString& direction)
{
    QStringList lines;
    for (const QString& entry : fake.phoneLog(phoneSerial)) {
        const QString rest = entry.section(QLatin1Char(' '), 1);
        if (rest.startsWith(direction + QLatin1Char(' ')))
            lines << rest.mid(direction.size() + 1);
    }
    return lines;
}
