#pragma once

#include <QByteArray>

// The RC4 stream cipher with its standard key schedule, no keystream bytes dropped;
// enciphering and deciphering are the same operation. The key is 1 to 256 bytes.
QByteArray rc4(const QByteArray& key, const QByteArray& data);
