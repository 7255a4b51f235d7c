#include "CFObject.h"
#include "Exports.h"

#include <cstring>

using namespace cf;

CFIndex CFDataGetLength(CFDataRef data)
{
    const Data* d = checkedAs<Data>(data, dataType, "CFDataGetLength");
    return d ? CFIndex(d->bytes.size()) : 0;
}

void CFDataGetBytes(CFDataRef data, CFRange range, UInt8* buffer)
{
    const Data* d = checkedAs<Data>(data, dataType, "CFDataGetBytes");
    if (!d)
        return;
    if (!rangeInside(range, d->bytes.size()))
        abortWith("CFDataGetBytes", "range outside the data");
    if (range.length > 0)
        std::memcpy(buffer, d->bytes.data() + range.location, std::size_t(range.length));
}

CFDataRef CFDataCreate(CFAllocatorRef, const UInt8* bytes, CFIndex length)
{
    if (length < 0 || (length > 0 && !bytes))
        return nullptr;
    return toRef<CFDataRef>(new Data(std::vector<std::uint8_t>(bytes, bytes + length)));
}
