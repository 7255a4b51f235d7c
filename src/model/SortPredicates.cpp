#include "model/SortPredicates.h"

#include "model/ChatGroup.h"
#include "model/MsgChat.h"
#include "model/MsgMessage.h"

#include <QtGlobal>

namespace {

constexpr quint64 maxSeqDistance = 20;
constexpr qint64 maxDateDistance = 120; // seconds

// Exact for any two qint64 values, where a plain subtraction could overflow.
quint64 seqDistance(qint64 a, qint64 b)
{
    return a > b ? quint64(a) - quint64(b) : quint64(b) - quint64(a);
}

} // namespace

bool chatNewerFirst(const _MsgChat* a, const _MsgChat* b)
{
    return a->lastDate >= b->lastDate;
}

bool chatGroupNewerFirst(const _ChatGroup& a, const _ChatGroup& b)
{
    return a.lastDate >= b.lastDate;
}

bool messageLessThan(const _MsgMessage* a, const _MsgMessage* b)
{
    if (seqDistance(a->seq, b->seq) > maxSeqDistance)
        return a->date < b->date;
    if (qAbs(qint64(a->date) - qint64(b->date)) > maxDateDistance)
        return a->date < b->date;
    return a->seq < b->seq;
}

bool messageGreaterThan(const _MsgMessage* a, const _MsgMessage* b)
{
    return !messageLessThan(a, b);
}
