#pragma once

// An sms.db whose write-ahead log alone holds a history of written and deleted messages
// (wal_history.py), over a database of device_smsdb.py or ios5_smsdb.py.

#include "msgdb/DeviceFixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

enum class SmsSchema { IOS6, IOS5 };

struct WalHistory
{
    bool built = false;
    // text, date since 2001, from_me and (iOS 6) guid of each message deleted in the log.
    QJsonArray deleted;
    QStringList live;
};

// Writes path, path-wal and path-shm; baseOptions go to the script of the schema.
inline WalHistory makeWalHistoryDb(const QString& path, SmsSchema schema, const QStringList& baseOptions = {})
{
    WalHistory history;
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QString base = path + QStringLiteral(".base");
    const QString script = schema == SmsSchema::IOS6 ? QStringLiteral(FIXTURES_DIR "/msgdb/device_smsdb.py")
                                                     : QStringLiteral(FIXTURES_DIR "/msgdb/ios5_smsdb.py");
    const CliResult made = runCli(QStringLiteral("python3"), QStringList{script, base} + baseOptions);
    const CliResult r = made.exitCode == 0 ? runCli(QStringLiteral("python3"),
                                                    {QStringLiteral(FIXTURES_DIR "/msgdb/wal_history.py"), base, path})
                                           : made;
    QFile::remove(base);
    if (r.exitCode != 0) {
        qWarning("building the log's history failed: %s", r.err.constData());
        return history;
    }
    const QJsonObject json = QJsonDocument::fromJson(r.out).object();
    history.deleted = json.value(QLatin1String("deleted")).toArray();
    for (const QJsonValue& text : json.value(QLatin1String("live")).toArray())
        history.live << text.toString();
    history.built = !history.deleted.isEmpty();
    return history;
}
