#include "msgdb/MessageRowDates.h"

#include "msgdb/MsgDbLog.h"

#include "model/AppleTime.h"
#include "model/MsgSet.h"

#include <QtDebug>

qint32 MessageRowDates::take(qint64 stored)
{
    const std::optional<qint32> seconds = appleSecondsFromStored(stored);
    if (!seconds && !firstUnheld)
        firstUnheld = stored;
    return seconds.value_or(0);
}

bool MessageRowDates::keepIn(_MsgSet& set, qint64 rowid, const char* reader) const
{
    if (!firstUnheld)
        return true;
    qCWarning(lcMsgDb, "%s: skipped message row %lld dated %lld as stored, a date no record can hold", reader,
              static_cast<long long>(rowid), static_cast<long long>(*firstUnheld));
    set.undatableMessages.insert(rowid);
    return false;
}
