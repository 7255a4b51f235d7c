#pragma once

// Backup folders for widget and msgtool tests, written by the independent generator
// tests/fixtures/itunes/mkbackup.py (python3 with python3-cryptography for encrypted ones).
// Each helper returns false, with a warning, when it failed: wrap it in QVERIFY.

#include "support/Cli.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtDebug>

#include <utime.h>

struct BackupLayout
{
    QString udid;
    QString deviceName;
    QDateTime date;
    // Empty: a plain backup.
    QString password = QString();
};

// Manifest.plist, a Manifest.mbdb without records and, for an encrypted backup, the keybag.
inline bool makeBackup(const QString& folder, const BackupLayout& layout)
{
    QJsonObject json{{"udid", layout.udid},
                     {"device_name", layout.deviceName},
                     {"product_type", "iPhone5,2"},
                     {"product_version", "7.1.2"},
                     {"date", layout.date.toSecsSinceEpoch()},
                     {"records", QJsonArray()}};
    if (!layout.password.isEmpty())
        json.insert("password", layout.password);
    const CliResult r = runCli(QStringLiteral("python3"), {FIXTURES_DIR "/itunes/mkbackup.py", "backup", folder},
                               QJsonDocument(json).toJson());
    if (r.exitCode != 0)
        qWarning() << "mkbackup.py failed:" << r.err;
    return r.exitCode == 0;
}

// Copies a generated backup (its files, no subfolders), faster than generating it again.
inline bool copyBackup(const QString& from, const QString& to)
{
    if (!QDir().mkpath(to))
        return false;
    for (const QFileInfo& file : QDir(from).entryInfoList(QDir::Files)) {
        if (!QFile::copy(file.absoluteFilePath(), QDir(to).filePath(file.fileName()))) {
            qWarning() << "cannot copy" << file.absoluteFilePath() << "to" << to;
            return false;
        }
    }
    return true;
}

inline bool writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly) && f.write(data) == data.size())
        return true;
    qWarning() << "cannot write" << path;
    return false;
}

// Sets a folder's modification time, which orders the backup scan.
inline bool setModified(const QString& path, const QDateTime& time)
{
    const utimbuf times{time_t(time.toSecsSinceEpoch()), time_t(time.toSecsSinceEpoch())};
    if (utime(QFile::encodeName(path).constData(), &times) == 0)
        return true;
    qWarning() << "cannot set the time of" << path;
    return false;
}
