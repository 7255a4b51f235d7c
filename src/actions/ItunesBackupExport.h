#pragma once

#include "frame/WorkerOutcome.h"

#include <QList>

class BackupManifest;
class ActionFrontEnd;
struct BackupMergeCounts;
struct _MsgMessage;

// Merges the messages into the chosen iTunes backup in place: the backup is locked, its
// message files are cached, the merge rebuilds its sms.db and rewrites its Manifest.mbdb,
// each step through the front end, which hears the count at the end. An encrypted backup
// is refused before anything is copied or written. counts gets what the merge did.
WorkerOutcome exportToItunesBackup(BackupManifest& manifest, QList<_MsgMessage*> messages, ActionFrontEnd& frontEnd,
                                   BackupMergeCounts& counts);
