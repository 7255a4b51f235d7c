#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

// The value types of "Manifest.mbdb", the index of an iTunes backup folder.

// A string as stored: its 16-bit length and its bytes. Length 0xFFFF marks an absent
// string and 0 an empty one; neither carries bytes, and the two stay apart.
struct MbdbString
{
    static constexpr quint16 absentLength = 0xFFFF;

    quint16 length = absentLength;
    QByteArray bytes;

    bool hasData() const { return length != 0 && length != absentLength; }
    // UTF-8 up to the first NUL byte; absent and empty strings both give an empty text.
    QString toString() const;
    // Throws std::runtime_error for more than 0xFFFE bytes, which no stored length can hold.
    void setBytes(const QByteArray& data);
    static MbdbString fromText(const QString& text);
};

struct MbdbProperty
{
    MbdbString name;
    MbdbString value;
};

// One file, folder or link of a backup. Times are seconds since 1970-01-01 UTC.
struct MbdbRecord
{
    MbdbString domain;
    MbdbString path; // relative to the domain, no leading "/"
    MbdbString linkTarget;
    MbdbString digest;        // SHA-1 of the content; absent for folders
    MbdbString encryptionKey; // wrapped file key of an encrypted backup
    quint16 mode = 0;
    quint64 inode = 0;
    quint32 userId = 0;
    quint32 groupId = 0;
    quint32 modificationTime = 0;
    quint32 accessTime = 0;
    quint32 changeTime = 0;
    quint64 size = 0;
    quint8 protectionClass = 0;
    QList<MbdbProperty> properties; // at most 255: the file stores the count in one byte

    // The name under which the backup folder stores this record's file: the SHA-1 of the
    // stored bytes of domain, "-" and path, so records differing in any byte (a NUL and
    // what follows it, say) never share a name. For text without NUL it is backupFileHash.
    QString fileHash() const;
    // The stored path is exactly its text: complete, valid UTF-8 and free of NUL bytes.
    bool hasPlainPath() const;
    // Size 0 and no link target; the mode is not consulted, so an empty file counts too.
    bool isDir() const;
};

// Records keyed by their fileHash(), a function of their full stored domain and path.
using MbdbMap = QHash<QString, MbdbRecord>;

// 40 lower-case hex digits of SHA-1(UTF-8 of domain + "-" + path).
QString backupFileHash(const QString& domain, const QString& path);
// The order of records in a written file: by domain, then by path, case-sensitive; texts
// that are equal (cut at a NUL) by their stored bytes.
bool mbdbRecordLessThan(const MbdbRecord& a, const MbdbRecord& b);
