#include "itunes/MbedTlsError.h"

#include "itunes/ITunesLog.h"

#include <QDebug>

#include <mbedtls/error.h>

#include <stdexcept>

void throwMbedTlsError(const QString& action, int code)
{
    char text[160];
    mbedtls_strerror(code, text, sizeof text);
    qCWarning(lcITunes, "mbed TLS error -0x%04x: %s", unsigned(-code), text);
    throw std::runtime_error(QStringLiteral("%1 failed (%2).").arg(action, QString::fromUtf8(text)).toStdString());
}
