#include "itunes/AesDecryptor.h"

#include "itunes/MbedTlsError.h"

#include <mbedtls/aes.h>

#include <stdexcept>

struct AesDecryptor::Context
{
    Context() { mbedtls_aes_init(&aes); }
    ~Context() { mbedtls_aes_free(&aes); }
    mbedtls_aes_context aes;
};

AesDecryptor::AesDecryptor(const QByteArray& key) : d(std::make_unique<Context>())
{
    if (key.size() < 32)
        throw std::runtime_error("An AES-256 key needs 32 bytes.");
    const int rc = mbedtls_aes_setkey_dec(&d->aes, reinterpret_cast<const unsigned char*>(key.constData()), 256);
    if (rc != 0)
        throwMbedTlsError(QStringLiteral("Setting the decryption key"), rc);
}

AesDecryptor::~AesDecryptor() = default;

void AesDecryptor::decryptBlock(const unsigned char in[16], unsigned char out[16])
{
    const int rc = mbedtls_aes_crypt_ecb(&d->aes, MBEDTLS_AES_DECRYPT, in, out);
    if (rc != 0)
        throwMbedTlsError(QStringLiteral("Decrypting a key"), rc);
}

QByteArray AesDecryptor::decryptCbc(const char* data, qint64 length, unsigned char iv[16])
{
    if (length <= 0 || length % 16 != 0)
        return QByteArray();
    QByteArray plain(length, Qt::Uninitialized);
    const int rc = mbedtls_aes_crypt_cbc(&d->aes, MBEDTLS_AES_DECRYPT, size_t(length), iv,
                                         reinterpret_cast<const unsigned char*>(data),
                                         reinterpret_cast<unsigned char*>(plain.data()));
    if (rc != 0)
        throwMbedTlsError(QStringLiteral("Decrypting a file"), rc);
    return plain;
}
