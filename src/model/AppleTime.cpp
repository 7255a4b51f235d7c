#include "model/AppleTime.h"

QDateTime dateTimeFromAppleTime(qint32 seconds)
{
    return QDateTime::fromSecsSinceEpoch(quint32(qint64(seconds) + appleEpochUnixSeconds));
}
