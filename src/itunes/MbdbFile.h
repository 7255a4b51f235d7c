#pragma once

#include "itunes/MbdbRecord.h"

#include <QList>
#include <QString>

// Reading and writing "Manifest.mbdb": the header "mbdb" 05 00, then records back to
// back up to the end of the file. Every integer is unsigned and big-endian.

enum class MbdbCheck {
    // The header is not examined; a later record with the same fileHash() replaces an earlier one.
    Lenient,
    // A foreign header or two records of the same domain and path throw: a manifest that
    // is to be rewritten must come back with every record it had.
    Strict,
};

// The manifest held in bytes; path names it in errors. Throws std::runtime_error when a
// record ends early.
MbdbMap parseMbdb(const QByteArray& bytes, const QString& path, MbdbCheck check);
// parseMbdb of the file, lenient. Throws std::runtime_error when it cannot be read.
MbdbMap readMbdb(const QString& path);

// Sorts the records with mbdbRecordLessThan and gives the whole file's bytes; throws as
// writeMbdb does.
QByteArray encodeMbdb(QList<MbdbRecord>& records);
// Sorts the records with mbdbRecordLessThan, then replaces the file as a whole: a
// record that cannot be written (a string whose bytes disagree with its length, more
// than 255 properties) throws std::runtime_error before the file changes.
void writeMbdb(QList<MbdbRecord>& records, const QString& path);
