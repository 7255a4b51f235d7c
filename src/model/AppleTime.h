#pragma once

#include <QDateTime>

// Stored dates count whole seconds from 2001-01-01 00:00:00 UTC; subtract this from
// a Unix time to get one.
inline constexpr qint64 appleEpochUnixSeconds = 978307200;

// Phones from iOS 11 on store dates as nanoseconds since 2001; no date in seconds comes
// near this magnitude.
inline constexpr qint64 nanosecondDateThreshold = 100000000000;
inline constexpr qint64 nanosecondsPerSecond = 1000000000;

// Seconds since 2001 of a date as a message database stores it, in seconds or in
// nanoseconds; held at the ends of the 32-bit range where the value lies beyond it.
qint32 appleSecondsFromStored(qint64 stored);
bool isNanosecondDate(qint64 stored);

// Local time, dates before 1970 included.
QDateTime dateTimeFromAppleTime(qint32 seconds);
