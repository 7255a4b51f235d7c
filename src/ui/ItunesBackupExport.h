#pragma once

#include <QList>

#include <optional>

class BackupManifest;
class QWidget;
struct _MsgMessage;

// Merges the messages into the chosen iTunes backup in place: the backup's message files
// are cached, the merge rebuilds its sms.db and rewrites its Manifest.mbdb, each under a
// progress dialog, and the success box gives the count. An encrypted backup is refused
// before anything is read, copied or written. manifest: Manifest.plist loaded. Returns the
// count of messages the backup gained; nothing when the user has been told why it
// stopped, or cancelled.
std::optional<int> exportToItunesBackup(BackupManifest& manifest, QList<_MsgMessage*> messages, QWidget* dialogParent);
