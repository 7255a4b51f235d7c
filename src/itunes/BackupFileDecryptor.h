#pragma once

#include "itunes/AesDecryptor.h"

#include <QByteArray>
#include <QString>

// Decrypts the stored content of one file of an encrypted backup, block after block in
// file order: AES-256-CBC from a zero IV with the chain running on across blocks, and
// the padding behind the file's recorded size dropped.
class BackupFileDecryptor
{
public:
    // fileName names the file in the error text (its backup file name).
    BackupFileDecryptor(const QByteArray& fileKey, quint64 recordedSize, const QString& fileName);

    // Throws std::runtime_error when the block's length is not a multiple of 16.
    QByteArray decrypt(const QByteArray& block);

private:
    AesDecryptor aes;
    unsigned char iv[16] = {};
    quint64 recordedSize;
    QString fileName;
    quint64 bytesRead = 0;
};
