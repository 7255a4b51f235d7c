#include "itunes/BackupFileDecryptor.h"

#include <stdexcept>

BackupFileDecryptor::BackupFileDecryptor(const QByteArray& fileKey, quint64 recordedSize, const QString& fileName)
    : aes(fileKey), recordedSize(recordedSize), fileName(fileName)
{
}

QByteArray BackupFileDecryptor::decrypt(const QByteArray& block)
{
    QByteArray plain = aes.decryptCbc(block.constData(), block.size(), iv);
    if (plain.isEmpty()) {
        const QString text = QStringLiteral("%1, POLARSSL_ERR_AES_INVALID_INPUT_LENGTH.").arg(fileName);
        throw std::runtime_error(text.toStdString());
    }
    bytesRead += quint64(block.size());
    // PKCS#7 pads with 1 to 16 bytes, a whole block when the size is a multiple of 16.
    // A larger excess means the record disagrees with the file; then nothing is cut.
    if (bytesRead > recordedSize && bytesRead - recordedSize <= 16)
        plain.chop(qsizetype(bytesRead - recordedSize));
    return plain;
}
