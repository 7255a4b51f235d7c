#pragma once

#include "itunes/MbdbRecord.h"

#include <QList>
#include <QString>

// Reading and writing "Manifest.mbdb": the header "mbdb" 05 00, then records back to
// back up to the end of the file. Every integer is unsigned and big-endian.

// The header is not examined. A later record with the same fileHash() replaces an
// earlier one. Throws std::runtime_error when the file cannot be read or a record
// ends early.
MbdbMap readMbdb(const QString& path);

// Sorts the records with mbdbRecordLessThan, then replaces the file as a whole: a
// record that cannot be written (a string whose bytes disagree with its length, more
// than 255 properties) throws std::runtime_error before the file changes.
void writeMbdb(QList<MbdbRecord>& records, const QString& path);
