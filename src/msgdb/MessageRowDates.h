#pragma once

#include <QtGlobal>

#include <optional>

struct _MsgSet;

// The dates of one message row, converted as the row is read. A date no record can hold
// (appleSecondsInRange) is never replaced by another one: the reader leaves the whole
// message out, logs it and counts it in the set.
class MessageRowDates
{
public:
    // Seconds since 2001 of a date stored in seconds or nanoseconds; 0 for a date beyond
    // what a record holds, which marks the row.
    qint32 take(qint64 stored);
    bool allHeld() const { return !firstUnheld; }
    // True when every date taken fits. Otherwise logs the row with the first date that did
    // not, adds its row id to the set's undatable messages and returns false.
    bool keepIn(_MsgSet& set, qint64 rowid, const char* reader) const;

private:
    std::optional<qint64> firstUnheld;
};
