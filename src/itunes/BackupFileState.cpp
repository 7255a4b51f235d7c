#include "itunes/BackupFileState.h"

#include "itunes/DurableFileOps.h"
#include "itunes/MbdbRecord.h"

BackupFileState BackupFileState::of(const MbdbRecord& record, const QString& storedPath)
{
    return {qint64(record.modificationTime), qint64(record.size), fileSha1Hex(storedPath)};
}
