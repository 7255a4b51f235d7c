#pragma once

#include <QByteArray>

#include <memory>

// AES-256 decryption with one key schedule, for the key unwrap (single blocks) and for
// file contents (CBC).
class AesDecryptor
{
public:
    // Uses the first 32 bytes of key; throws std::runtime_error when it is shorter.
    explicit AesDecryptor(const QByteArray& key);
    ~AesDecryptor();
    AesDecryptor(const AesDecryptor&) = delete;
    AesDecryptor& operator=(const AesDecryptor&) = delete;

    void decryptBlock(const unsigned char in[16], unsigned char out[16]);
    // CBC over length bytes; iv is updated to the last ciphertext block, so a following
    // call continues the chain. Empty when length is not a positive multiple of 16.
    QByteArray decryptCbc(const char* data, qint64 length, unsigned char iv[16]);

private:
    struct Context;
    std::unique_ptr<Context> d;
};
