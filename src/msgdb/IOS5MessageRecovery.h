#pragma once

#include "model/CountryLibDb.h"
#include "model/RecycledMessage.h"
#include "msgdb/SqliteRow.h"
#include "sqlite/SqliteCol.h"

#include <QHash>
#include <QList>
#include <QString>

class IOS5MessageDb;
class WorkerReport;

// Where the columns of the iOS 5 message table lie in one of its records. Phones do not
// all order the columns alike, so the recovery takes the order from the file's own
// CREATE TABLE statement where it can.
class IOS5MessageLayout
{
public:
    // columns: the table's columns in record order, the row-id alias first; their names
    // and declared types are taken.
    explicit IOS5MessageLayout(const QList<_SqliteCol>& columns);

    // The order of the first iOS 5 files, cut to its first width columns.
    static IOS5MessageLayout fixed(int width);
    // The layouts to carve a file with: the file's own order when it names every column an
    // SMS needs, and its part before the iMessage columns for records older than them;
    // else the fixed order at its three widths.
    static QList<IOS5MessageLayout> forTable(const QList<_SqliteCol>& columns);

    const QList<_SqliteCol>& columns() const { return m_columns; }
    // -1 when the layout has no such column.
    int indexOf(const QString& name) const { return m_index.value(name, -1); }

private:
    QList<_SqliteCol> m_columns;
    QHash<QString, int> m_index;
};

// Gets back the messages deleted from an iOS 5 sms.db: every row found in an older page
// image of its write-ahead log, intact on a freed page or carved out of free space that
// reads as a message, and that no live row holds with the same date and text, is stored
// once in the database's recycle store, from which IOS5MessageDb::loadRecycledMessages
// brings them back as deleted messages.
class IOS5MessageRecovery
{
public:
    // mcc: the device's mobile country code; it decides the country of a number stored
    // without one.
    IOS5MessageRecovery(IOS5MessageDb& db, const QString& mcc);

    // Runs on the caller's thread; form may be null (no progress, no cancel). A cancel or
    // an exception leaves the recycle store as it was before the call.
    void recoverDeletedMessages(WorkerReport* form);

    // False when the row is not taken as a message. An SMS gets a new guid on every call,
    // and its date (Unix seconds in the row) is converted to seconds since 2001. An SMS of
    // a conversation whose members the file lists goes to that conversation's chat; one
    // without an address, as the owner's messages to a group are stored, only there. The
    // members are read by recoverDeletedMessages. The first form reads the row in the
    // fixed order.
    bool messageFromRow(const _SqliteRow& row, _RecycledMessage& message);
    bool messageFromRow(const _SqliteRow& row, const IOS5MessageLayout& layout, _RecycledMessage& message);

private:
    IOS5MessageDb& db;
    CountryLibDb country;
    // msg_group row id -> the chat identifier its members give it.
    QHash<qint64, QString> smsChats;
};
