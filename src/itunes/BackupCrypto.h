#pragma once

#include <QByteArray>

#include <functional>

// The key derivation and key unwrap that lock the class keys and file keys of an
// encrypted backup.

// RFC 3394 AES key unwrap with the first 32 bytes of kek and the default integrity value.
// Bytes after the last whole 8-byte block are ignored. Empty when the integrity check
// fails, when wrapped is shorter than 16 bytes or when kek is shorter than 32.
QByteArray aesUnwrap(const QByteArray& kek, const QByteArray& wrapped);

// Told every few thousand rounds of a key derivation how many of all its rounds are done;
// returning false stops the derivation.
using DerivationProgress = std::function<bool(quint64 done, quint64 total)>;

// PBKDF2 with HMAC-SHA1; the password's bytes are taken whole, NUL bytes included. An
// iteration count of 0 counts as 1. Empty when progress stopped it.
QByteArray pbkdf2Sha1(const QByteArray& password, const QByteArray& salt, quint32 iterations, int keyLength,
                      const DerivationProgress& progress = {});
