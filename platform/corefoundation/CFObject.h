#pragma once

#include "mobiledevice/abi.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace cf {

enum TypeId : CFTypeID {
    nullType = 1,
    booleanType,
    numberType,
    stringType,
    dataType,
    dateType,
    timeZoneType,
    dictionaryType,
    arrayType,
};

// Every object starts with this header. A reference handed to the program is always the
// address of the header, whatever the concrete type.
struct Object
{
    explicit Object(TypeId type, bool isMutable = false, bool isConstant = false);
    virtual ~Object();
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    std::uint32_t magic;
    TypeId type;
    mutable std::atomic<long> references{1};
    bool isMutable;
    bool isConstant; // the boolean constants: never counted, never freed
};

struct BooleanObject final : Object
{
    explicit BooleanObject(bool v) : Object(booleanType, false, true), value(v) {}
    bool value;
};

struct Number final : Object
{
    Number(CFNumberType canonical, std::int64_t v) : Object(numberType), type(canonical), integer(v) {}
    Number(CFNumberType canonical, double v) : Object(numberType), type(canonical), isFloat(true), real(v) {}
    CFNumberType type;
    bool isFloat = false;
    std::int64_t integer = 0;
    double real = 0;
};

struct String final : Object
{
    explicit String(std::u16string text) : Object(stringType), units(std::move(text)) {}
    std::u16string units;
};

struct Data final : Object
{
    explicit Data(std::vector<std::uint8_t> b) : Object(dataType), bytes(std::move(b)) {}
    std::vector<std::uint8_t> bytes;
};

struct Date final : Object
{
    explicit Date(CFAbsoluteTime t) : Object(dateType), time(t) {}
    CFAbsoluteTime time;
};

struct TimeZone final : Object
{
    explicit TimeZone(CFTimeInterval offset) : Object(timeZoneType), secondsFromGMT(offset) {}
    CFTimeInterval secondsFromGMT;
};

// Keys and values are retained; pairs stay in insertion order.
struct Dictionary final : Object
{
    explicit Dictionary(bool isMutable) : Object(dictionaryType, isMutable) {}
    std::vector<std::pair<const Object*, const Object*>> pairs;
};

struct Array final : Object
{
    explicit Array(bool isMutable) : Object(arrayType, isMutable) {}
    std::vector<const Object*> items;
};

// The object behind a reference; aborts with a message on a null reference, a foreign
// pointer or an object that was already freed.
const Object* checked(CFTypeRef ref, const char* function);
// The same, and the object must have the given type; otherwise a message and null.
template <class T>
const T* checkedAs(CFTypeRef ref, TypeId type, const char* function);

inline bool rangeInside(CFRange range, std::size_t size)
{
    return range.location >= 0 && range.length >= 0 && std::size_t(range.location) <= size
        && std::size_t(range.length) <= size - std::size_t(range.location);
}

void retain(const Object* object);
void release(const Object* object);
bool equalValues(const Object* a, const Object* b);

// Mutable references (CFMutableDictionaryRef) are non-const pointers by their type.
template <class Ref>
Ref toRef(const Object* object)
{
    return reinterpret_cast<Ref>(const_cast<Object*>(object));
}
inline CFTypeRef toRef(const Object* object)
{
    return object;
}

void logProblem(const char* function, const char* problem);
[[noreturn]] void abortWith(const char* function, const char* problem);

template <class T>
const T* checkedAs(CFTypeRef ref, TypeId type, const char* function)
{
    const Object* object = checked(ref, function);
    if (object->type != type) {
        logProblem(function, "called with a value of another type");
        return nullptr;
    }
    return static_cast<const T*>(object);
}

} // namespace cf
