#include "CFObject.h"
#include "Exports.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

using namespace cf;

namespace {

const BooleanObject trueObject(true);
const BooleanObject falseObject(false);

enum : CFNumberType {
    sint8 = 1,
    sint16 = 2,
    sint32 = 3,
    sint64 = 4,
    float32 = 5,
    float64 = 6,
    charType = 7,
    shortType = 8,
    intType = 9,
    longType = 10,
    longLongType = 11,
    floatType = 12,
    doubleType = 13,
    cfIndexType = 14,
    nsIntegerType = 15,
    cgFloatType = 16,
};

// The stored type: the C-named types map to their fixed-size equals (LP64).
CFNumberType canonicalType(CFNumberType type)
{
    switch (type) {
    case charType:
        return sint8;
    case shortType:
        return sint16;
    case intType:
        return sint32;
    case longType:
    case longLongType:
    case cfIndexType:
    case nsIntegerType:
        return sint64;
    case floatType:
        return float32;
    case doubleType:
    case cgFloatType:
        return float64;
    default:
        return type;
    }
}

// The value of a number or a boolean, apart from the object that holds it.
struct NumericValue
{
    bool isFloat = false;
    std::int64_t integer = 0;
    double real = 0;
};

bool isFloatType(CFNumberType canonical)
{
    return canonical == float32 || canonical == float64;
}

template <class T>
bool storeInteger(std::int64_t value, void* out)
{
    const T converted = static_cast<T>(value);
    std::memcpy(out, &converted, sizeof converted);
    return static_cast<std::int64_t>(converted) == value;
}

// Writes the value converted to the requested type; false when the conversion loses
// information (the written value is then the nearest the type can hold).
bool convert(const NumericValue& n, CFNumberType requested, void* out)
{
    const CFNumberType target = canonicalType(requested);
    if (isFloatType(target)) {
        const double value = n.isFloat ? n.real : double(n.integer);
        const bool exact = n.isFloat || static_cast<std::int64_t>(value) == n.integer;
        if (target == float32) {
            const float f = static_cast<float>(value);
            std::memcpy(out, &f, sizeof f);
            return exact && (std::isnan(value) || double(f) == value);
        }
        std::memcpy(out, &value, sizeof value);
        return exact;
    }
    std::int64_t value = n.integer;
    bool exact = true;
    if (n.isFloat) {
        const double r = n.real;
        if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0)) {
            value = r > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
            exact = false;
        } else {
            value = static_cast<std::int64_t>(r);
            exact = double(value) == r;
        }
    }
    switch (target) {
    case sint8:
        return storeInteger<std::int8_t>(value, out) && exact;
    case sint16:
        return storeInteger<std::int16_t>(value, out) && exact;
    case sint32:
        return storeInteger<std::int32_t>(value, out) && exact;
    case sint64:
        return storeInteger<std::int64_t>(value, out) && exact;
    default:
        return false;
    }
}

// The value read as T, kept as a 64-bit integer or a double.
template <class T>
CFNumberRef created(CFNumberType canonical, const void* value)
{
    T v;
    std::memcpy(&v, value, sizeof v);
    if constexpr (std::is_floating_point_v<T>)
        return toRef<CFNumberRef>(new cf::Number(canonical, double(v)));
    else
        return toRef<CFNumberRef>(new cf::Number(canonical, std::int64_t(v)));
}

bool isKnownType(CFNumberType type)
{
    return type >= sint8 && type <= cgFloatType;
}

} // namespace

extern "C" {
const CFBooleanRef kCFBooleanTrue = toRef<CFBooleanRef>(&trueObject);
const CFBooleanRef kCFBooleanFalse = toRef<CFBooleanRef>(&falseObject);
}

::Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* valueOut)
{
    const Object* object = checked(number, "CFNumberGetValue");
    if (!valueOut || !isKnownType(type)) {
        logProblem("CFNumberGetValue", "called without a result address or with an unknown number type");
        return false;
    }
    // The program reads booleans through this call too: they convert to 0 or 1.
    if (object->type == booleanType) {
        NumericValue asNumber{};
        asNumber.integer = static_cast<const BooleanObject*>(object)->value ? 1 : 0;
        return convert(asNumber, type, valueOut);
    }
    if (object->type != numberType) {
        logProblem("CFNumberGetValue", "called with a value that is not a number");
        return false;
    }
    const auto* n = static_cast<const cf::Number*>(object);
    return convert({n->isFloat, n->integer, n->real}, type, valueOut);
}

CFNumberType CFNumberGetType(CFNumberRef number)
{
    const cf::Number* n = checkedAs<cf::Number>(number, numberType, "CFNumberGetType");
    return n ? n->type : CFNumberType(sint64);
}

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType type, const void* value)
{
    if (!value || !isKnownType(type)) {
        logProblem("CFNumberCreate", "called without a value or with an unknown number type");
        return nullptr;
    }
    const CFNumberType canonical = canonicalType(type);
    switch (canonical) {
    case sint8:
        return created<std::int8_t>(canonical, value);
    case sint16:
        return created<std::int16_t>(canonical, value);
    case sint32:
        return created<std::int32_t>(canonical, value);
    case sint64:
        return created<std::int64_t>(canonical, value);
    case float32:
        return created<float>(canonical, value);
    default:
        return created<double>(canonical, value);
    }
}
