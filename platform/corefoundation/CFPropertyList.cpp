#include "CFObject.h"
#include "Exports.h"
#include "PlistLimits.h"
#include "Utf.h"

#include <plist/plist.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

using namespace cf;

namespace {

constexpr CFOptionFlags immutable = 0;

struct PlistDeleter
{
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

struct FreeDeleter
{
    void operator()(char* p) const { std::free(p); }
};
using MallocText = std::unique_ptr<char, FreeDeleter>;

// Null when the value, or anything inside it, cannot go into a property list.
PlistPtr toPlist(const Object* object)
{
    switch (object->type) {
    case stringType: {
        const auto* s = static_cast<const String*>(object);
        return PlistPtr(plist_new_string(utf8FromUtf16(s->units.data(), s->units.size(), '?').c_str()));
    }
    case numberType: {
        const auto* n = static_cast<const Number*>(object);
        if (n->isFloat)
            return PlistPtr(plist_new_real(n->real));
        // This libplist has only unsigned integers: a negative value travels as its
        // two's complement, which both formats write as the signed number.
        return PlistPtr(plist_new_uint(static_cast<std::uint64_t>(n->integer)));
    }
    case booleanType:
        return PlistPtr(plist_new_bool(static_cast<const BooleanObject*>(object)->value));
    case dataType: {
        const auto& bytes = static_cast<const Data*>(object)->bytes;
        return PlistPtr(plist_new_data(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }
    case dateType: {
        const double t = static_cast<const Date*>(object)->time;
        const double whole = std::floor(t);
        if (!(whole >= -2147483648.0 && whole <= 2147483647.0))
            return nullptr;
        return PlistPtr(plist_new_date(std::int32_t(whole), std::int32_t(std::lround((t - whole) * 1e6))));
    }
    case dictionaryType: {
        PlistPtr dict(plist_new_dict());
        for (const auto& [key, value] : static_cast<const Dictionary*>(object)->pairs) {
            if (key->type != stringType)
                return nullptr;
            PlistPtr item = toPlist(value);
            if (!item)
                return nullptr;
            const auto& units = static_cast<const String*>(key)->units;
            plist_dict_set_item(dict.get(), utf8FromUtf16(units.data(), units.size(), '?').c_str(), item.release());
        }
        return dict;
    }
    case arrayType: {
        PlistPtr array(plist_new_array());
        for (const Object* value : static_cast<const Array*>(object)->items) {
            PlistPtr item = toPlist(value);
            if (!item)
                return nullptr;
            plist_array_append_item(array.get(), item.release());
        }
        return array;
    }
    default:
        return nullptr;
    }
}

String* stringFromUtf8(const char* text, std::size_t length)
{
    auto units = utf16FromUtf8(text, length);
    return units ? new String(std::move(*units)) : nullptr;
}

// Null when a node has no counterpart here (UIDs) or holds text that is not UTF-8.
const Object* fromPlist(plist_t node, bool mutableContainers)
{
    switch (plist_get_node_type(node)) {
    case PLIST_STRING: {
        // Read with its length: a string may hold a NUL character, on which libplist's
        // copying reader aborts.
        std::uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        return text ? stringFromUtf8(text, std::size_t(length)) : nullptr;
    }
    case PLIST_UINT: {
        std::uint64_t v = 0;
        plist_get_uint_val(node, &v);
        return new Number(4, static_cast<std::int64_t>(v));
    }
    case PLIST_REAL: {
        double v = 0;
        plist_get_real_val(node, &v);
        return new Number(6, v);
    }
    case PLIST_BOOLEAN: {
        std::uint8_t v = 0;
        plist_get_bool_val(node, &v);
        return static_cast<const Object*>(static_cast<const void*>(v ? kCFBooleanTrue : kCFBooleanFalse));
    }
    case PLIST_DATA: {
        char* raw = nullptr;
        std::uint64_t length = 0;
        plist_get_data_val(node, &raw, &length);
        MallocText bytes(raw);
        const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.get());
        return new Data(p ? std::vector<std::uint8_t>(p, p + length) : std::vector<std::uint8_t>());
    }
    case PLIST_DATE: {
        std::int32_t sec = 0, usec = 0;
        plist_get_date_val(node, &sec, &usec);
        return new Date(double(sec) + double(usec) / 1e6);
    }
    case PLIST_DICT: {
        auto* dict = new Dictionary(mutableContainers);
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        for (;;) {
            char* rawKey = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, it, &rawKey, &value);
            MallocText key(rawKey);
            if (!value)
                break;
            const Object* k = key ? stringFromUtf8(key.get(), std::strlen(key.get())) : nullptr;
            const Object* v = k ? fromPlist(value, mutableContainers) : nullptr;
            if (!v) {
                if (k)
                    release(k);
                std::free(it);
                release(dict);
                return nullptr;
            }
            dict->pairs.emplace_back(k, v);
        }
        std::free(it);
        return dict;
    }
    case PLIST_ARRAY: {
        auto* array = new Array(mutableContainers);
        const std::uint32_t count = plist_array_get_size(node);
        for (std::uint32_t i = 0; i < count; ++i) {
            const Object* v = fromPlist(plist_array_get_item(node, i), mutableContainers);
            if (!v) {
                release(array);
                return nullptr;
            }
            array->items.push_back(v);
        }
        return array;
    }
    default:
        return nullptr;
    }
}

} // namespace

CFDataRef CFPropertyListCreateData(CFAllocatorRef, CFPropertyListRef value, CFPropertyListFormat format, CFOptionFlags,
                                   CFErrorRef* error)
{
    // The program never releases an error object, so none is ever made.
    if (error)
        *error = nullptr;
    const PlistPtr root = toPlist(checked(value, "CFPropertyListCreateData"));
    if (!root)
        return nullptr;
    char* raw = nullptr;
    std::uint32_t length = 0;
    if (format == kCFPropertyListXMLFormat_v1_0) {
        plist_to_xml(root.get(), &raw, &length);
    } else if (format == kCFPropertyListBinaryFormat_v1_0) {
        plist_to_bin(root.get(), &raw, &length);
    } else {
        return nullptr;
    }
    MallocText bytes(raw);
    if (!bytes || length == 0)
        return nullptr;
    const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.get());
    return toRef<CFDataRef>(new Data(std::vector<std::uint8_t>(p, p + length)));
}

CFPropertyListRef CFPropertyListCreateWithData(CFAllocatorRef, CFDataRef data, CFOptionFlags options,
                                               CFPropertyListFormat* format, CFErrorRef* error)
{
    if (error)
        *error = nullptr;
    const auto* d = checkedAs<Data>(data, dataType, "CFPropertyListCreateWithData");
    if (!d || d->bytes.empty() || d->bytes.size() > UINT32_MAX)
        return nullptr;
    const char* bytes = reinterpret_cast<const char*>(d->bytes.data());
    if (exceedsPlistLimits(bytes, d->bytes.size()))
        return nullptr;
    plist_t raw = nullptr;
    plist_from_memory(bytes, std::uint32_t(d->bytes.size()), &raw);
    const PlistPtr root(raw);
    if (!root)
        return nullptr;
    const Object* value = fromPlist(root.get(), options != immutable);
    if (value && format) {
        static const char binaryMagic[] = "bplist00";
        const bool binary = d->bytes.size() >= 8 && std::memcmp(d->bytes.data(), binaryMagic, 8) == 0;
        *format = binary ? kCFPropertyListBinaryFormat_v1_0 : kCFPropertyListXMLFormat_v1_0;
    }
    return value ? toRef(value) : nullptr;
}
