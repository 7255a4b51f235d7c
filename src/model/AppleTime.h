#pragma once

#include <QDateTime>

#include <optional>

// Stored dates count whole seconds from 2001-01-01 00:00:00 UTC; subtract this from
// a Unix time to get one.
inline constexpr qint64 appleEpochUnixSeconds = 978307200;

// Phones from iOS 11 on store dates as nanoseconds since 2001; no date in seconds comes
// near this magnitude.
inline constexpr qint64 nanosecondDateThreshold = 100000000000;
inline constexpr qint64 nanosecondsPerSecond = 1000000000;

// A count of seconds since 2001 as a record holds it: 32 bits, from 1932-12-13 20:45:52 to
// 2069-01-19 03:14:07 UTC. Empty beyond, where any other value would be another date.
std::optional<qint32> appleSecondsInRange(qint64 seconds);
// Seconds since 2001 of a date as a message database stores it, in seconds or in
// nanoseconds; empty where the date lies beyond what a record holds.
std::optional<qint32> appleSecondsFromStored(qint64 stored);
// appleSecondsFromStored held at the ends of the 32-bit range: a key to order by, never a
// date to store or show.
qint32 appleSecondsForOrdering(qint64 stored);
bool isNanosecondDate(qint64 stored);

// Local time, dates before 1970 included.
QDateTime dateTimeFromAppleTime(qint32 seconds);
