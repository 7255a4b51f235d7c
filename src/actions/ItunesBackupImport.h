#pragma once

#include "model/MsgSetPtr.h"
#include "msgdb/AbsIOSMessageDb.h"

#include <QSharedPointer>

#include <optional>

class BackupManifest;
class ActionFrontEnd;

// All messages of an iTunes backup, with the database they were read from.
struct ImportedBackupMessages
{
    QSharedPointer<AbsIOSMessageDb> db;
    MsgSetPtr set;
};

// Caches the backup's message files through the front end and reads every message of the
// cached database, of the iOS 5 or the iOS 6 schema. manifest: Manifest.plist loaded, and
// unlocked when the backup is encrypted. Nothing when the user has been shown why it
// stopped (through the front end, and the log told), or cancelled.
std::optional<ImportedBackupMessages> readItunesBackupMessages(BackupManifest& manifest, ActionFrontEnd& frontEnd);
