#pragma once

#include "model/CountryLibDb.h"
#include "model/RecycledMessage.h"
#include "msgdb/SqliteRow.h"

#include <QString>

class IOS5MessageDb;
class ProgressForm;

// Gets back the messages deleted from an iOS 5 sms.db: every row found intact on a freed
// page or carved out of free space that reads as a message of the iOS 5 layouts, and that
// no live row holds with the same date and text, is stored once in the database's recycle
// store, from which IOS5MessageDb::loadRecycledMessages brings them back as deleted messages.
class IOS5MessageRecovery
{
public:
    // mcc: the device's mobile country code; it decides the country of a number stored
    // without one.
    IOS5MessageRecovery(IOS5MessageDb& db, const QString& mcc);

    // Runs on the caller's thread; form may be null (no progress, no cancel). A cancel or
    // an exception leaves the recycle store as it was before the call.
    void recoverDeletedMessages(ProgressForm* form);

    // False when the row is not taken as a message. An SMS gets a new guid on every call,
    // and its date (Unix seconds in the row) is converted to seconds since 2001.
    bool messageFromRow(const _SqliteRow& row, _RecycledMessage& message);

private:
    IOS5MessageDb& db;
    CountryLibDb country;
};

// The carver's filter: rows wide enough whose read, UIFlags and is_madrid values are ones
// the phone writes.
bool ios5MessageRowFilter(const _SqliteRow& row);
