#pragma once

#include <QString>

class PhoneLink;
class PhoneValues;

// Creates the backup folder with a Status.plist that is not finished, so that a run
// killed from here on leaves a backup the program will not reuse.
void beginBackup(const QString& backupFolder);
// Backs the phone's fs/ up into the folder, on top of what an earlier backup left, and
// marks it finished. Throws ToolError, the folder left unfinished, when the phone leaves.
void writeBackup(const PhoneLink& phone, const QString& backupFolder, const PhoneValues& values);
