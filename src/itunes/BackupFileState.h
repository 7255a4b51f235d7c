#pragma once

#include <QByteArray>
#include <QString>

struct MbdbRecord;

// What tells one version of a backed-up file from another: its record's modification
// time and size, and the SHA-1 of the file as it lies in the backup folder (its
// ciphertext in an encrypted backup). The time alone cannot tell: it has whole seconds,
// and a merge gives the file it publishes the second it staged it in, which a phone's
// own change can share. Many backups leave the record's digest empty, so the stored
// bytes are read instead.
struct BackupFileState
{
    qint64 modificationTime = 0; // seconds since 1970
    qint64 size = 0;
    QByteArray digest; // hex; empty when the stored file cannot be read

    static BackupFileState of(const MbdbRecord& record, const QString& storedPath);

    bool operator==(const BackupFileState& other) const
    {
        return modificationTime == other.modificationTime && size == other.size && digest == other.digest;
    }
    bool operator!=(const BackupFileState& other) const { return !(*this == other); }
};
