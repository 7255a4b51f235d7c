#include "itunes/BackupCrypto.h"

#include "itunes/AesDecryptor.h"
#include "itunes/MbedTlsError.h"

#include <QtEndian>

#include <mbedtls/md.h>
#include <mbedtls/pkcs5.h>

#include <cstring>

namespace {

constexpr quint64 defaultIntegrityValue = 0xA6A6A6A6A6A6A6A6ULL;

struct MdContext
{
    MdContext() { mbedtls_md_init(&md); }
    ~MdContext() { mbedtls_md_free(&md); }
    mbedtls_md_context_t md;
};

} // namespace

QByteArray aesUnwrap(const QByteArray& kek, const QByteArray& wrapped)
{
    const qint64 n = wrapped.size() / 8; // A plus n - 1 blocks of key data
    if (n < 2 || kek.size() < 32)
        return QByteArray();

    AesDecryptor aes(kek);
    quint64 a = qFromBigEndian<quint64>(wrapped.constData());
    QByteArray r = wrapped.mid(8, (n - 1) * 8);
    unsigned char block[16];
    unsigned char plain[16];
    for (qint64 j = 5; j >= 0; --j) {
        for (qint64 i = n - 1; i >= 1; --i) {
            const quint64 t = quint64((n - 1) * j + i);
            qToBigEndian<quint64>(a ^ t, block);
            std::memcpy(block + 8, r.constData() + (i - 1) * 8, 8);
            aes.decryptBlock(block, plain);
            a = qFromBigEndian<quint64>(plain);
            std::memcpy(r.data() + (i - 1) * 8, plain + 8, 8);
        }
    }
    return a == defaultIntegrityValue ? r : QByteArray();
}

QByteArray pbkdf2Sha1(const QByteArray& password, const QByteArray& salt, quint32 iterations, int keyLength)
{
    MdContext ctx;
    int rc = mbedtls_md_setup(&ctx.md, mbedtls_md_info_from_type(MBEDTLS_MD_SHA1), 1);
    if (rc != 0)
        throwMbedTlsError(QStringLiteral("Deriving the password key"), rc);
    QByteArray key(keyLength, Qt::Uninitialized);
    rc = mbedtls_pkcs5_pbkdf2_hmac(&ctx.md, reinterpret_cast<const unsigned char*>(password.constData()),
                                   size_t(password.size()), reinterpret_cast<const unsigned char*>(salt.constData()),
                                   size_t(salt.size()), iterations, quint32(keyLength),
                                   reinterpret_cast<unsigned char*>(key.data()));
    if (rc != 0)
        throwMbedTlsError(QStringLiteral("Deriving the password key"), rc);
    return key;
}
