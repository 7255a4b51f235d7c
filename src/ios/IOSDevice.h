#pragma once

#include <QDir>
#include <QList>
#include <QString>

#include <optional>

// One attached iPhone: the lockdown values read at its arrival and the device library's
// handle, through which every later operation reaches it. A value type; the handle is
// copied, never released. Saved virtual iPhones have no handle.
class IOSDevice
{
public:
    IOSDevice() = default;
    IOSDevice(const IOSDevice&) = default;
    IOSDevice& operator=(const IOSDevice&) = default;
    virtual ~IOSDevice();

    // The five values the arrival reads, through one session; a value the phone lacks is
    // empty. Throws std::runtime_error with the session's text when the phone refuses.
    static IOSDevice read(void* handle);

    // True for 1 to 64 characters of A-Z, a-z, 0-9 and "-": the only identifiers that are
    // used as a folder name.
    static bool isPlainDeviceId(const QString& id);

    // "ios_cache/<UniqueDeviceID>" in the data folder, created when missing. Throws
    // std::runtime_error, building no path, when the identifier is not plain.
    QDir cacheDir() const;
    // The numbers of the product version: "7.1.2" gives 7, 1, 2; no digits, none.
    QList<int> versionNumbers() const;
    // Why iCloud backup (checkCloud) or encrypted backups (checkEncrypt) forbid what comes
    // next: the text, and the resource path of the picture that shows which setting to
    // turn off; the iCloud check goes first. None when they allow it; a phone that cannot
    // be asked counts as allowing it.
    struct SettingsRefusal
    {
        QString text;
        QString picture;
    };
    std::optional<SettingsRefusal> backupSettingsRefusal(bool checkCloud, bool checkEncrypt) const;
    // Those refusals; the second also serves a backup found encrypted.
    static SettingsRefusal cloudBackupRefusal();
    static SettingsRefusal encryptedBackupRefusal();

    QString deviceName;
    QString uniqueDeviceId;
    QString countryCode; // the SIM's mobile country code, empty without one
    QString productVersion;
    QString productType;
    void* handle = nullptr;
};
