#include "model/AppleTime.h"

#include <algorithm>
#include <limits>

namespace {

qint64 storedSeconds(qint64 stored)
{
    return isNanosecondDate(stored) ? stored / nanosecondsPerSecond : stored;
}

} // namespace

QDateTime dateTimeFromAppleTime(qint32 seconds)
{
    return QDateTime::fromSecsSinceEpoch(qint64(seconds) + appleEpochUnixSeconds);
}

bool isNanosecondDate(qint64 stored)
{
    return stored > nanosecondDateThreshold || stored < -nanosecondDateThreshold;
}

std::optional<qint32> appleSecondsInRange(qint64 seconds)
{
    if (seconds < std::numeric_limits<qint32>::min() || seconds > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(seconds);
}

std::optional<qint32> appleSecondsFromStored(qint64 stored)
{
    return appleSecondsInRange(storedSeconds(stored));
}

qint32 appleSecondsForOrdering(qint64 stored)
{
    return qint32(std::clamp<qint64>(storedSeconds(stored), std::numeric_limits<qint32>::min(),
                                     std::numeric_limits<qint32>::max()));
}
