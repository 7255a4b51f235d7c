#pragma once

#include <QDateTime>

// Stored dates count whole seconds from 2001-01-01 00:00:00 UTC; subtract this from
// a Unix time to get one.
inline constexpr qint64 appleEpochUnixSeconds = 978307200;

// Local time. The Unix time is taken as an unsigned 32-bit count, as the phones'
// databases were read from the start, so dates before 1970 wrap.
QDateTime dateTimeFromAppleTime(qint32 seconds);
