#include "model/AppleTime.h"

#include <algorithm>
#include <limits>

QDateTime dateTimeFromAppleTime(qint32 seconds)
{
    return QDateTime::fromSecsSinceEpoch(qint64(seconds) + appleEpochUnixSeconds);
}

bool isNanosecondDate(qint64 stored)
{
    return stored > nanosecondDateThreshold || stored < -nanosecondDateThreshold;
}

qint32 appleSecondsFromStored(qint64 stored)
{
    const qint64 seconds = isNanosecondDate(stored) ? stored / nanosecondsPerSecond : stored;
    return qint32(std::clamp<qint64>(seconds, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()));
}
