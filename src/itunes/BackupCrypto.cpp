#include "itunes/BackupCrypto.h"

#include "itunes/AesDecryptor.h"
#include "itunes/MbedTlsError.h"

#include <QtEndian>

#include <mbedtls/md.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr quint64 defaultIntegrityValue = 0xA6A6A6A6A6A6A6A6ULL;

constexpr quint64 progressInterval = 4096; // rounds between two progress reports

struct MdContext
{
    MdContext() { mbedtls_md_init(&md); }
    ~MdContext() { mbedtls_md_free(&md); }
    MdContext(const MdContext&) = delete;
    MdContext& operator=(const MdContext&) = delete;
    mbedtls_md_context_t md;
};

// HMAC-SHA1 under one key; each digest starts afresh.
class HmacSha1
{
public:
    static constexpr int size = 20;

    HmacSha1(const QByteArray& key, const QString& action) : action(action)
    {
        check(mbedtls_md_setup(&ctx.md, mbedtls_md_info_from_type(MBEDTLS_MD_SHA1), 1));
        check(mbedtls_md_hmac_starts(&ctx.md, reinterpret_cast<const unsigned char*>(key.constData()),
                                     size_t(key.size())));
    }

    // out may be message itself.
    void digest(const unsigned char* message, size_t length, unsigned char out[size])
    {
        check(mbedtls_md_hmac_reset(&ctx.md));
        check(mbedtls_md_hmac_update(&ctx.md, message, length));
        check(mbedtls_md_hmac_finish(&ctx.md, out));
    }

private:
    void check(int rc) const
    {
        if (rc != 0)
            throwMbedTlsError(action, rc);
    }

    MdContext ctx;
    QString action;
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

// RFC 8018 written out over HMAC, not mbed TLS's one call, so that a derivation of
// millions of rounds reports progress and can be stopped.
QByteArray pbkdf2Sha1(const QByteArray& password, const QByteArray& salt, quint32 iterations, int keyLength,
                      const DerivationProgress& progress)
{
    const QString action = QStringLiteral("Deriving the password key");
    HmacSha1 hmac(password, action);
    const quint64 rounds = std::max<quint32>(iterations, 1);
    const int blocks = (keyLength + HmacSha1::size - 1) / HmacSha1::size;
    const quint64 total = quint64(blocks) * rounds;
    QByteArray key;
    for (quint32 block = 1; block <= quint32(blocks); ++block) {
        QByteArray first = salt + QByteArray(4, Qt::Uninitialized);
        qToBigEndian(block, first.data() + salt.size());
        unsigned char u[HmacSha1::size];
        unsigned char t[HmacSha1::size];
        hmac.digest(reinterpret_cast<const unsigned char*>(first.constData()), size_t(first.size()), u);
        std::memcpy(t, u, sizeof t);
        for (quint64 round = 1; round < rounds; ++round) {
            if (round % progressInterval == 0 && progress && !progress((block - 1) * rounds + round, total))
                return QByteArray();
            hmac.digest(u, sizeof u, u);
            for (int i = 0; i < HmacSha1::size; ++i)
                t[i] ^= u[i];
        }
        key.append(reinterpret_cast<const char*>(t), sizeof t);
    }
    if (progress)
        progress(total, total);
    return key.left(keyLength);
}
