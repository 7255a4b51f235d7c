#pragma once

struct _ChatGroup;
struct _MsgChat;
struct _MsgMessage;

// The model's sort predicates. chatNewerFirst, chatGroupNewerFirst and
// messageGreaterThan are true for equal items, and messageLessThan is not transitive
// over long runs: sort with safeSort (model/SafeSort.h), never with std::sort.

// For any record whose rowid is a qint64; ascending row ids.
template<class Record>
bool lessThanId64(const Record* a, const Record* b)
{
    return a->rowid < b->rowid;
}

bool chatNewerFirst(const _MsgChat* a, const _MsgChat* b);
bool chatGroupNewerFirst(const _ChatGroup& a, const _ChatGroup& b);

// The message order: by date, except that messages at most 20 apart in seq and at
// most 120 seconds apart in date follow seq.
bool messageLessThan(const _MsgMessage* a, const _MsgMessage* b);
// The plain negation of messageLessThan, so true both ways for equal messages.
bool messageGreaterThan(const _MsgMessage* a, const _MsgMessage* b);
