#include "CFObject.h"
#include "Exports.h"

using namespace cf;

// The callback structures carry nothing: the library always retains keys and values and
// compares keys by value. Their addresses are what the program passes.
struct CFDictionaryKeyCallBacks
{
    int unused;
};
struct CFDictionaryValueCallBacks
{
    int unused;
};
struct CFArrayCallBacks
{
    int unused;
};

extern "C" {
const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks{0};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks{0};
const CFArrayCallBacks kCFTypeArrayCallBacks{0};
}

namespace {

// A mutation of an immutable container is refused: it is a fault of the caller, not a
// reason to change a value that others may share.
template <class Container, class Ref>
Container* mutableContainer(Ref ref, TypeId type, const char* function)
{
    const auto* container = checkedAs<Container>(ref, type, function);
    if (container && !container->isMutable) {
        logProblem(function, "refused: the container is immutable");
        return nullptr;
    }
    return const_cast<Container*>(container);
}

} // namespace

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef, CFIndex, const CFDictionaryKeyCallBacks* keyCallBacks,
                                                 const CFDictionaryValueCallBacks* valueCallBacks)
{
    // Catches a caller that passes the contents of the looked-up symbol instead of its address.
    if (keyCallBacks != &kCFTypeDictionaryKeyCallBacks || valueCallBacks != &kCFTypeDictionaryValueCallBacks)
        abortWith("CFDictionaryCreateMutable", "callbacks other than kCFTypeDictionaryKeyCallBacks and "
                                               "kCFTypeDictionaryValueCallBacks");
    return toRef<CFMutableDictionaryRef>(new Dictionary(true));
}

CFTypeRef CFDictionaryGetValue(CFDictionaryRef dictionary, CFTypeRef key)
{
    const auto* d = checkedAs<Dictionary>(dictionary, dictionaryType, "CFDictionaryGetValue");
    const Object* k = checked(key, "CFDictionaryGetValue");
    if (!d)
        return nullptr;
    for (const auto& [existing, value] : d->pairs) {
        if (equalValues(existing, k))
            return toRef(value);
    }
    return nullptr;
}

void CFDictionarySetValue(CFMutableDictionaryRef dictionary, CFTypeRef key, CFTypeRef value)
{
    auto* d = mutableContainer<Dictionary>(dictionary, dictionaryType, "CFDictionarySetValue");
    const Object* k = checked(key, "CFDictionarySetValue");
    const Object* v = checked(value, "CFDictionarySetValue");
    if (!d)
        return;
    retain(v);
    for (auto& pair : d->pairs) {
        if (equalValues(pair.first, k)) {
            release(pair.second);
            pair.second = v;
            return;
        }
    }
    retain(k);
    d->pairs.emplace_back(k, v);
}

CFIndex CFDictionaryGetCount(CFDictionaryRef dictionary)
{
    const auto* d = checkedAs<Dictionary>(dictionary, dictionaryType, "CFDictionaryGetCount");
    return d ? CFIndex(d->pairs.size()) : 0;
}

void CFDictionaryGetKeysAndValues(CFDictionaryRef dictionary, CFTypeRef* keys, CFTypeRef* values)
{
    const auto* d = checkedAs<Dictionary>(dictionary, dictionaryType, "CFDictionaryGetKeysAndValues");
    if (!d)
        return;
    for (std::size_t i = 0; i < d->pairs.size(); ++i) {
        if (keys)
            keys[i] = toRef(d->pairs[i].first);
        if (values)
            values[i] = toRef(d->pairs[i].second);
    }
}

CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef, CFIndex, const CFArrayCallBacks* callBacks)
{
    if (callBacks != &kCFTypeArrayCallBacks)
        abortWith("CFArrayCreateMutable", "callbacks other than kCFTypeArrayCallBacks");
    return toRef<CFMutableArrayRef>(new Array(true));
}

void CFArrayAppendValue(CFMutableArrayRef array, CFTypeRef value)
{
    auto* a = mutableContainer<Array>(array, arrayType, "CFArrayAppendValue");
    const Object* v = checked(value, "CFArrayAppendValue");
    if (!a)
        return;
    retain(v);
    a->items.push_back(v);
}

CFIndex CFArrayGetCount(CFArrayRef array)
{
    const auto* a = checkedAs<Array>(array, arrayType, "CFArrayGetCount");
    return a ? CFIndex(a->items.size()) : 0;
}

CFTypeRef CFArrayGetValueAtIndex(CFArrayRef array, CFIndex index)
{
    const auto* a = checkedAs<Array>(array, arrayType, "CFArrayGetValueAtIndex");
    if (!a)
        return nullptr;
    if (index < 0 || std::size_t(index) >= a->items.size())
        abortWith("CFArrayGetValueAtIndex", "index outside the array");
    return toRef(a->items[std::size_t(index)]);
}
