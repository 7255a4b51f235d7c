#pragma once

// iPhone-like sms.db files written by python's sqlite3 module, so that the files our
// code reads were not made by our code.

#include "support/Cli.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

// The database path below a work folder, as after a file_relay download.
inline QString smsDbPathIn(const QString& folder)
{
    return QDir(folder).absoluteFilePath(QStringLiteral("file-relay/var/mobile/Library/SMS/sms.db"));
}

// Writes the device database at path; options of device_smsdb.py such as "--later".
inline bool makeDeviceDb(const QString& path, const QStringList& options = {})
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    const CliResult r = runCli(QStringLiteral("python3"),
                               QStringList{QStringLiteral(FIXTURES_DIR "/msgdb/device_smsdb.py"), path} + options);
    if (r.exitCode != 0)
        qWarning("device_smsdb.py failed: %s", r.err.constData());
    return r.exitCode == 0;
}

inline QByteArray fileSha256(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}
