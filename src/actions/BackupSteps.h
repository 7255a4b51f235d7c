#pragma once

#include "frame/WorkerOutcome.h"
#include "ios/IOSDevice.h"

#include <QDir>
#include <QList>

#include <memory>
#include <optional>

class BackupLock;
class BackupManifest;
class ActionFrontEnd;
struct _MsgMessage;

// What a merge into a backup did: the messages it added, those it left out for want of a
// chat, and the message rows the backup's database held before.
struct BackupMergeCounts
{
    int merged = 0;
    int skipped = 0;
    qint64 messagesBefore = 0;
};

// The steps that write messages into a backup, and back a phone up and restore it around
// them. Each runs its worker through the front end, which also hears every refusal and
// failure; each returns how it ended, and a caller goes on only after a success. From
// openForWriting on, the steps hold the backup's lock until they are destroyed, so nobody
// else writes the backup between reading its manifest and restoring it.
class BackupSteps
{
public:
    explicit BackupSteps(ActionFrontEnd& frontEnd);
    ~BackupSteps();

    // Backs the phone up below the temporary backup root, which backupRoot then names; the
    // phone's backup is the folder named by its UDID in it.
    WorkerOutcome backUp(const IOSDevice& device, QDir& backupRoot);

    // Locks the backup and reads its manifest. An encrypted backup is refused with
    // encryptedRefusal when one is given, else unlocked through the front end (Cancelled
    // when no password is given).
    WorkerOutcome openForWriting(BackupManifest& manifest,
                                 const std::optional<IOSDevice::SettingsRefusal>& encryptedRefusal);

    // Copies the backup's message files into cacheFolder, or into the backup's own cache
    // folder when none is given; cachedFolder() then names it.
    WorkerOutcome cache(BackupManifest& manifest, const std::optional<QDir>& cacheFolder = std::nullopt);
    QDir cachedFolder() const { return cached; }

    // Refuses a cached database not of the iOS 6 schema, and counts its messages for
    // counts(); for a backup whose phone has not been read before.
    WorkerOutcome checkCached();
    // Merges the messages into the backup through the cached database, which must be of
    // the iOS 6 schema. counts() tells what it did, also after a failure.
    WorkerOutcome merge(const QString& countryCode, QList<_MsgMessage*>& messages, const BackupManifest& manifest);
    BackupMergeCounts counts() const { return mergeCounts; }
    static QString onlyIos6Refusal();

    // Restores the backup below backupRoot onto the phone.
    WorkerOutcome restore(const IOSDevice& device, const QDir& backupRoot);

private:
    ActionFrontEnd& frontEnd;
    std::shared_ptr<BackupLock> lock;
    QDir cached;
    BackupMergeCounts mergeCounts;
};
