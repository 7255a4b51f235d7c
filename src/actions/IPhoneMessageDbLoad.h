#pragma once

#include "frame/WorkerOutcome.h"
#include "ios/IOSDevice.h"

#include <QSharedPointer>

class AbsIOSMessageDb;
class ActionFrontEnd;

// Brings an arriving iPhone's message and address-book databases into its cache folder:
// through file_relay for iOS 5 to 7, or a version that holds no number; through a
// whole-device backup for any other, asking for the password of an encrypted backup.
// Both roads leave the database at the same place below the cache folder.
class IPhoneMessageDbLoad
{
public:
    explicit IPhoneMessageDbLoad(const IOSDevice& device);

    static bool readsThroughFileRelay(const IOSDevice& device);

    // Failed carries the text of the refusal or failure, which the front end has been
    // told; Cancelled follows a cancelled step or password.
    WorkerOutcome fetch(ActionFrontEnd& frontEnd);

    // The fetched database, opened with the reader of its schema and the phone's country.
    // Throws std::runtime_error when it is of neither iPhone schema.
    QSharedPointer<AbsIOSMessageDb> open() const;

private:
    WorkerOutcome fetchThroughBackup(ActionFrontEnd& frontEnd);

    IOSDevice device;
};
