#pragma once

#include <QString>

// Logs and throws std::runtime_error for a failed mbed TLS call: "<action> failed (<library text>)."
[[noreturn]] void throwMbedTlsError(const QString& action, int code);
