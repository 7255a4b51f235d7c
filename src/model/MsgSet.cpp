#include "model/MsgSet.h"

#include <algorithm>
#include <vector>

namespace {

// Freed in address order, which is close to the order they were allocated in: hash order
// would visit a large set's memory at random and make the free cost grow with the set.
template <typename Record>
void deleteInAddressOrder(const QHash<qint64, Record*>& records)
{
    std::vector<Record*> pointers(records.cbegin(), records.cend());
    std::sort(pointers.begin(), pointers.end());
    for (Record* record : pointers)
        delete record;
}

} // namespace

_MsgSet::~_MsgSet()
{
    deleteInAddressOrder(messages);
    deleteInAddressOrder(attachments);
    deleteInAddressOrder(chats);
    deleteInAddressOrder(handles);
}
