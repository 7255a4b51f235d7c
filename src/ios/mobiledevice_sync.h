#pragma once

// The device's synchronisation service "com.apple.mobilesync" over DeviceLink, one data
// class at a time, and the lockdown switch for tethered sync. Messages are arrays sent
// as XML; element 0 names them, element 1 is the data class. All functions block and
// throw std::runtime_error; the socket stays open after a failure, for the caller to close.

#include "ios/CFType.h"

#include <QList>
#include <QString>

struct mobiledevice_sync_anchors
{
    mobiledevice_sync_anchors(const QString& dataClass, const QString& deviceAnchor, const QString& computerAnchor)
        : dataClass(dataClass), deviceAnchor(deviceAnchor), computerAnchor(computerAnchor)
    {
    }

    QString dataClass;
    QString deviceAnchor;
    QString computerAnchor;
};

// The socket is stored at once, so the caller holds it even when a later step fails.
void mobiledevice_sync_start_session(void* device, const mobiledevice_sync_anchors& anchors, int* socket, bool ping);
// The device decides how many batches it sends; what they may fill in memory (counted as
// XML) is bounded here.
inline constexpr qint64 mobiledeviceSyncMaxRecordBytes = qint64(256) * 1024 * 1024;

// One record dictionary per batch the device sent, in arrival order; more than
// maxRecordBytes of them fails the call.
QList<CFType> mobiledevice_sync_get_all_records(int socket, const QString& dataClass,
                                                qint64 maxRecordBytes = mobiledeviceSyncMaxRecordBytes);
// The device's remapping of record identifiers (a null wrapper when it sent none).
CFType mobiledevice_sync_process_changes(int socket, const CFType& entities, const QString& dataClass,
                                         const CFType& actions);
void mobiledevice_sync_clear_all_records(int socket, const QString& dataClass);
// Waits up to an hour for the device's answer, which is not examined.
void mobiledevice_sync_finish_session(int socket, const QString& dataClass);

// Sets "DisableTethered" for the data class; the device library's result, 0 on success.
int mobiledevice_disable_tethered_sync(void* device, const QString& dataClass, bool disable);
