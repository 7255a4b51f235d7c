#pragma once

// Files for simulated phones of the file_relay tests, made by tools that are not ours:
// python's sqlite3 and os.urandom, and the independent cpio writer of tests/fixtures/ios.

#include "support/Cli.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

// An iPhone-like sms.db (the iOS 6 schema that iOS 7 keeps) at path.
inline bool makeSmsDb(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    return runCli(QStringLiteral("python3"), {QStringLiteral(FIXTURES_DIR "/msgdb/device_smsdb.py"), path}).exitCode
        == 0;
}

// Bytes that do not compress, so that an archive holding them is at least that long.
inline bool makeRandomFile(const QString& path, int size)
{
    return python(QStringLiteral("import os,sys;open(sys.argv[1],'wb').write(os.urandom(int(sys.argv[2])))"),
                  {path, QString::number(size)})
               .exitCode
        == 0;
}

// A cpio archive of the entries described, compressed as phones do unless compression
// names another of cpio.py's ("none", "bzip2", "xz").
inline bool makeCpio(const QString& path, const QJsonArray& entries,
                     const QString& compression = QStringLiteral("gzip"))
{
    return runCli(QStringLiteral("python3"),
                  {QStringLiteral(FIXTURES_DIR "/ios/cpio.py"), QStringLiteral("write"), path, compression},
                  QJsonDocument(entries).toJson())
               .exitCode
        == 0;
}

// The entries of a gzip-compressed cpio archive as the independent reader sees them.
inline QJsonArray readCpio(const QString& path)
{
    const CliResult r =
        runCli(QStringLiteral("python3"), {QStringLiteral(FIXTURES_DIR "/ios/cpio.py"), QStringLiteral("read"), path});
    if (r.exitCode != 0)
        qWarning("cpio.py read failed: %s", r.err.constData());
    return QJsonDocument::fromJson(r.out).array();
}
