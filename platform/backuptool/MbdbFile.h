#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// One record of a Manifest.mbdb (format 5.0). Strings are UTF-8; an absent string is
// written as length 0xFFFF. A folder has mode 0x41ED and no digest.
struct MbdbEntry
{
    QString domain;
    QString path;
    QByteArray digest; // the file's SHA-1, 20 bytes, or empty when absent
    quint16 mode = 0;
    quint32 mtime = 0; // seconds since 1970
    quint64 size = 0;

    bool isFolder() const { return (mode & 0xF000) == 0x4000; }
    bool isFile() const { return (mode & 0xF000) == 0x8000; }
};

QByteArray encodeMbdb(const QList<MbdbEntry>& entries);
// Throws ToolError when the bytes are not a whole Manifest.mbdb.
QList<MbdbEntry> decodeMbdb(const QByteArray& bytes);
