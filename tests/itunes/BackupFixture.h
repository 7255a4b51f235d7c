#pragma once

// Backup folders holding an iPhone message database, written by the python generators of
// tests/fixtures/itunes; folderSnapshot proves that a failed merge changed nothing.

#include "support/Cli.h"
#include "support/FolderSnapshot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QtDebug>

inline constexpr char smsDbBackupName[] = "3d0d7e5fb2ce288813306e4d4636395e047a3d28";

// layout: {"sms": description, "records": [...], "password": ...} of smsbackup.py.
inline bool makeSmsBackup(const QString& folder, const QJsonObject& layout)
{
    const CliResult r = runCli(QStringLiteral("python3"),
                               {QStringLiteral(FIXTURES_DIR "/itunes/smsbackup.py"), QStringLiteral("backup"), folder},
                               QJsonDocument(layout).toJson());
    if (r.exitCode != 0)
        qWarning() << r.err;
    return r.exitCode == 0;
}

inline bool makeSmsDb(const QString& path, const QJsonObject& description)
{
    const CliResult r = runCli(QStringLiteral("python3"),
                               {QStringLiteral(FIXTURES_DIR "/itunes/smsbackup.py"), QStringLiteral("smsdb"), path},
                               QJsonDocument(description).toJson());
    if (r.exitCode != 0)
        qWarning() << r.err;
    return r.exitCode == 0;
}

// The records of a manifest as the independent reader sees them, keyed by file hash.
inline QMap<QString, QJsonObject> readManifest(const QString& path)
{
    const CliResult r = runCli(QStringLiteral("python3"), {QStringLiteral(FIXTURES_DIR "/itunes/mbdb.py"),
                                                           QStringLiteral("read"), path});
    if (r.exitCode != 0)
        qWarning() << r.err;
    QMap<QString, QJsonObject> records;
    const QJsonArray all = QJsonDocument::fromJson(r.out).array();
    for (const QJsonValue& v : all)
        records.insert(v[QStringLiteral("file_hash")].toString(), v.toObject());
    return records;
}
