#pragma once

// Backups and message sources for the iTunes backup actions, written by the independent
// generators of tests/fixtures; the texts in English, as the program shows them.

#include "itunes/BackupFixture.h"

#include "model/MsgSetPtr.h"
#include "msgdb/IOS6MessageDb.h"

#include <QJsonArray>

inline QJsonObject smsMessage(int rowid, const QString& guid, int date, int handle, int chat)
{
    return {{"rowid", rowid}, {"guid", guid}, {"date", date}, {"handle", handle}, {"chats", QJsonArray{chat}}};
}

// Two chats; five messages OLD-1 to OLD-5 in them, and count more named BULK-<n>.
inline QJsonObject smsDescription(int bulkCount)
{
    QJsonObject d{
        {"handles", QJsonArray{QJsonArray{1, "+15550001", "SMS"}, QJsonArray{2, "+15550002", "SMS"}}},
        {"chats",
         QJsonArray{
             QJsonObject{
                 {"rowid", 1}, {"guid", "SMS;-;+15550001"}, {"identifier", "+15550001"}, {"handles", QJsonArray{1}}},
             QJsonObject{
                 {"rowid", 2}, {"guid", "SMS;-;+15550002"}, {"identifier", "+15550002"}, {"handles", QJsonArray{2}}}}},
        {"messages", QJsonArray{smsMessage(1, "OLD-1", 1000, 1, 1), smsMessage(2, "OLD-2", 1100, 2, 2),
                                smsMessage(3, "OLD-3", 1200, 1, 1), smsMessage(4, "OLD-4", 1300, 2, 2),
                                smsMessage(5, "OLD-5", 1400, 1, 1)}}};
    if (bulkCount > 0)
        d.insert("bulk", QJsonObject{{"count", bulkCount},
                                     {"chat", 2},
                                     {"handle", 2},
                                     {"dates", QJsonArray{1050, 1150, 1250, 1350, 1450}}});
    return d;
}

inline QString smsDbIn(const QString& folder)
{
    return folder + QStringLiteral("/file-relay/var/mobile/Library/SMS/sms.db");
}

inline QStringList keptFiles(const QString& backup)
{
    return QDir(backup).entryList({QString(smsDbBackupName) + "-*", "Manifest.mbdb-*"}, QDir::Files, QDir::Name);
}
