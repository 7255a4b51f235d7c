#pragma once

#include "android/simpleprotocol.h"

#include <QDateTime>
#include <QDir>
#include <QString>

#include <memory>

class QTcpSocket;

// An Android phone as the companion app describes it, and how it is reached: by adb serial
// over USB or by the IPv4 address the user typed over Wi-Fi. A plain value, copied out
// of the connection thread into the device tree.
struct AndroidDevice
{
    QString reservedText; // never set, kept so that copies stay complete
    QString serial;       // adb serial of a USB phone
    QString uid;          // identifies a Wi-Fi phone
    bool isWifi = false;
    QString host;
    int port = 0; // the Wi-Fi launcher's port
    int version = 0;
    QString model;
    QString manufacturer;
    QString imei; // names the cache folder
    QString sdk;
    int sdk_id = 0;
    bool root = false;
    QString storage1;
    QString mmc; // mobile country code: the country of the cache database
    QDateTime reservedTime; // never set, kept so that copies stay complete

    QString displayName() const;
    QString id() const;
    // The phone's folder below "android_cache" in the data folder (androidCacheFolderName),
    // created when missing.
    QDir cacheDir() const;
    // Fills the keyed fields from "key=value;" pairs; unknown keys and empty values are
    // skipped, a later pair wins.
    void parseDeviceInfo(const QString& payload);

    // A socket on which the app has said "$ready:", over Wi-Fi or USB by isWifi. Worker
    // thread; raises std::exception subclasses, CancelledException once *cancel is set.
    std::unique_ptr<QTcpSocket> openSession(const QString& url, int timeLimitMs,
                                            simpleprotocol::CancelFlag cancel = nullptr) const;
    std::unique_ptr<QTcpSocket> openUsbSession(const QString& url, int timeLimitMs,
                                               simpleprotocol::CancelFlag cancel = nullptr) const;
    std::unique_ptr<QTcpSocket> openWifiSession(const QString& url, int timeLimitMs,
                                                simpleprotocol::CancelFlag cancel = nullptr) const;

    // The "$hello:" payload of a device2 session, after its first 7 characters whatever
    // they are. Worker thread, raises as openSession.
    QString readDeviceInfo(simpleprotocol::CancelFlag cancel = nullptr) const;
    // For a phone already known by its uid: its sessions may reach another phone when a
    // second program forwarded the same port, so the phone answering must show the same
    // uid, else std::runtime_error. Does nothing while the uid is unknown.
    void confirmIdentity(simpleprotocol::CancelFlag cancel = nullptr) const;
};

inline constexpr char companionPackage[] = "com.veltrominex.smssync";
