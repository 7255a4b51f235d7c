#pragma once

#include <QString>

class PhoneLink;

// Checks the whole backup first (finished, every stored file present with the digest its
// record gives, no path leaving its domain), then writes its files into the phone's fs/
// with their times. Throws ToolError, having written nothing, when a check fails, and
// stops, without creating anything where the phone was, when the phone leaves.
void restoreBackup(const QString& backupFolder, const PhoneLink& phone);
