#pragma once

#include "itunes/MbdbRecord.h"

#include <QByteArray>
#include <QString>

// Gives a file that was stored in a backup folder (at filePath, under its backup file
// name) its record in the map, and records for its parent folders up to the first one
// the map already holds. An existing record keeps everything but its digest and times.
void addFileToManifest(MbdbMap& map, const QString& filePath, const QString& domain, const QString& relativePath);

// SHA-1 of the whole file; empty when it cannot be read.
QByteArray fileSha1(const QString& path);
