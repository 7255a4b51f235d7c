#include "CFObject.h"

#include "Exports.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace cf {

namespace {

constexpr std::uint32_t aliveMagic = 0xCF5AFE01;
constexpr std::uint32_t freedMagic = 0xDEADCF00;

std::atomic<long> liveObjects{0};
std::atomic<long> doubleReleases{0};

// Freed objects stay readable for a while, poisoned, so that a late release or use is
// recognised instead of reading reused memory. Plain static storage: never destroyed.
constexpr std::size_t quarantineSize = 4096;
const Object* quarantine[quarantineSize];
std::size_t quarantineNext = 0;
std::mutex quarantineMutex;

void bury(const Object* object)
{
    const Object* evicted = nullptr;
    {
        std::lock_guard<std::mutex> lock(quarantineMutex);
        evicted = quarantine[quarantineNext];
        quarantine[quarantineNext] = object;
        quarantineNext = (quarantineNext + 1) % quarantineSize;
    }
    delete evicted;
}

} // namespace

Object::Object(TypeId t, bool m, bool constant) : magic(aliveMagic), type(t), isMutable(m), isConstant(constant)
{
    if (!isConstant)
        liveObjects.fetch_add(1);
}

Object::~Object() = default;

void logProblem(const char* function, const char* problem)
{
    std::fprintf(stderr, "CoreFoundation: %s: %s\n", function, problem);
}

void abortWith(const char* function, const char* problem)
{
    logProblem(function, problem);
    std::abort();
}

const Object* checked(CFTypeRef ref, const char* function)
{
    if (!ref)
        abortWith(function, "called with a null reference");
    const Object* object = static_cast<const Object*>(ref);
    if (object->magic == freedMagic)
        abortWith(function, "called with an object that was already released");
    if (object->magic != aliveMagic)
        abortWith(function, "called with something that is not a CoreFoundation object");
    return object;
}

void retain(const Object* object)
{
    if (!object->isConstant)
        object->references.fetch_add(1);
}

void release(const Object* object)
{
    if (object->isConstant)
        return;
    if (object->magic == freedMagic) {
        doubleReleases.fetch_add(1);
        logProblem("CFRelease", "released an object that was already freed");
        return;
    }
    if (object->references.fetch_sub(1) != 1)
        return;
    Object* dying = const_cast<Object*>(object);
    // Release the children now: the object itself only waits in the quarantine.
    if (dying->type == dictionaryType) {
        auto* d = static_cast<Dictionary*>(dying);
        for (const auto& [key, value] : d->pairs) {
            release(key);
            release(value);
        }
        d->pairs.clear();
    } else if (dying->type == arrayType) {
        auto* a = static_cast<Array*>(dying);
        for (const Object* item : a->items)
            release(item);
        a->items.clear();
    }
    dying->magic = freedMagic;
    liveObjects.fetch_sub(1);
    bury(dying);
}

bool equalValues(const Object* a, const Object* b)
{
    if (a == b)
        return true;
    if (a->type != b->type)
        return false;
    switch (a->type) {
    case stringType:
        return static_cast<const String*>(a)->units == static_cast<const String*>(b)->units;
    case numberType: {
        const auto* x = static_cast<const Number*>(a);
        const auto* y = static_cast<const Number*>(b);
        if (!x->isFloat && !y->isFloat)
            return x->integer == y->integer;
        const double dx = x->isFloat ? x->real : double(x->integer);
        const double dy = y->isFloat ? y->real : double(y->integer);
        return dx == dy;
    }
    case booleanType:
        return static_cast<const BooleanObject*>(a)->value == static_cast<const BooleanObject*>(b)->value;
    case dataType:
        return static_cast<const Data*>(a)->bytes == static_cast<const Data*>(b)->bytes;
    case dateType:
        return static_cast<const Date*>(a)->time == static_cast<const Date*>(b)->time;
    case timeZoneType:
        return static_cast<const TimeZone*>(a)->secondsFromGMT == static_cast<const TimeZone*>(b)->secondsFromGMT;
    default:
        return false;
    }
}

} // namespace cf

using namespace cf;

void CFRelease(CFTypeRef value)
{
    if (!value)
        abortWith("CFRelease", "called with a null reference");
    const Object* object = static_cast<const Object*>(value);
    if (object->magic != freedMagic)
        object = checked(value, "CFRelease");
    release(object);
}

CFTypeID CFGetTypeID(CFTypeRef value)
{
    return checked(value, "CFGetTypeID")->type;
}

CFTypeID CFNullGetTypeID()
{
    return nullType;
}
CFTypeID CFNumberGetTypeID()
{
    return numberType;
}
CFTypeID CFBooleanGetTypeID()
{
    return booleanType;
}
CFTypeID CFStringGetTypeID()
{
    return stringType;
}
CFTypeID CFDataGetTypeID()
{
    return dataType;
}
CFTypeID CFDateGetTypeID()
{
    return dateType;
}
CFTypeID CFDictionaryGetTypeID()
{
    return dictionaryType;
}
CFTypeID CFArrayGetTypeID()
{
    return arrayType;
}

long CFSubsetLiveObjectCount()
{
    return liveObjects.load();
}

long CFSubsetDoubleReleaseCount()
{
    return doubleReleases.load();
}
