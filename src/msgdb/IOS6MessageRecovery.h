#pragma once

#include "model/CountryLibDb.h"
#include "model/MsgSetPtr.h"
#include "msgdb/SqliteRow.h"

#include <QList>
#include <QString>

class IOS6MessageDb;
class WorkerReport;
struct _MsgChat;
struct _MsgHandle;
struct _MsgMessage;

// Gets back the handles and messages deleted from an sms.db of the iOS 6 schema, or of
// the later one whose message rows have 51 values: rows found intact on freed pages or
// carved out of free space are stored once each in the database's recycle store, and
// come back from there as deleted messages. Both recoveries run on the caller's thread;
// form may be null (no progress, no cancel). A cancel or an exception leaves the recycle
// store as it was before the call.
class IOS6MessageRecovery
{
public:
    // mcc: the device's mobile country code; it decides the country of a handle stored
    // without one.
    IOS6MessageRecovery(IOS6MessageDb& db, const QString& mcc);

    void recoverDeletedHandles(WorkerReport* form);
    // chats: the live database's chats with their handles; a message found is filed into
    // the chat of its handle_id (a one-to-one chat before a group chat), else under the
    // deleted handle of that row id, which only an earlier recoverDeletedHandles stored.
    void recoverDeletedMessages(const QList<_MsgChat*>& chats, WorkerReport* form);
    // Adds the stored messages to the set, marked deleted, except those whose guid is a
    // live message of the sms.db again.
    void loadRecycledMessages(MsgSetPtr& set);

    // False when the row is no message of the iOS 6 layouts; with fewer than 50 values
    // the fields of later iOS versions keep their defaults.
    static bool messageFromRow(const _SqliteRow& row, _MsgMessage& message);
    // False when the row is no handle, or names a country the country list lacks.
    bool handleFromRow(const _SqliteRow& row, _MsgHandle& handle);

private:
    IOS6MessageDb& db;
    CountryLibDb country;
};

// The carver's filters: rows wide enough whose service is "SMS" or "iMessage".
bool ios6MessageRowFilter(const _SqliteRow& row);
bool ios6HandleRowFilter(const _SqliteRow& row);
