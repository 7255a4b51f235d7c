#pragma once

#include <QDir>
#include <QString>

#include <functional>

class ItemModelLoadBk;

// Told about a backup folder whose Manifest.plist could not be read; error is the text
// for the user.
using BackupLoadFailure = std::function<void(const QString& folderPath, const QString& error)>;

// The path of the first of Manifest.plist and Manifest.mbdb that folder lacks; empty when
// it holds both, as every backup folder does.
QString missingBackupFile(const QDir& folder);

// Inserts into the model every folder directly below root that holds both Manifest.mbdb
// and Manifest.plist, visiting the oldest-modified first. A folder whose Manifest.plist
// cannot be read is left out and handed to failed, and the scan goes on. A missing root
// lists nothing.
void scanBackupRoot(const QDir& root, ItemModelLoadBk& model, const BackupLoadFailure& failed);
