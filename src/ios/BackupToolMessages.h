#pragma once

#include <QString>

class IOSDevice;

// What the backup and restore threads tell the user (rich text).

// Empty when the device may be backed up or restored; otherwise why not. A saved virtual
// iPhone has no handle, and an identifier that is not one plain name would make its
// backup folder the whole root, or one outside it.
QString deviceBackupRefusal(const IOSDevice& device);
// The tool's text, escaped, with the advice to restart the phone.
QString backupFailureMessage(const QString& toolText);
// As backupFailureMessage, but the two failures the user can mend get their own advice.
QString restoreFailureMessage(const QString& toolText);
