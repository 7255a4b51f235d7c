#pragma once

#include "model/MsgSetPtr.h"
#include "msgdb/AbsIOSMessageDb.h"

#include <QSharedPointer>

#include <optional>

class BackupManifest;
class QWidget;

// All messages of an iTunes backup, with the database they were read from.
struct ImportedBackupMessages
{
    QSharedPointer<AbsIOSMessageDb> db;
    MsgSetPtr set;
};

// Caches the backup's message files under a progress dialog and reads every message of the
// cached database, of the iOS 5 or the iOS 6 schema. manifest: Manifest.plist loaded, and
// unlocked when the backup is encrypted. Nothing when the user has been shown why it
// stopped (and the log told), or cancelled.
std::optional<ImportedBackupMessages> readItunesBackupMessages(BackupManifest& manifest, QWidget* dialogParent);
