#include "CFBridge.h"

#include <plist/plist.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

// Linked, not looked up: this library is built with our CoreFoundation beside it.
#define CF_DECLARE_FUNCTION(name) extern "C" name##_fn name;
COREFOUNDATION_FUNCTIONS(CF_DECLARE_FUNCTION)
#undef CF_DECLARE_FUNCTION

std::optional<std::string> utf8Of(CFStringRef string)
{
    if (!string || CFGetTypeID(string) != CFStringGetTypeID())
        return std::nullopt;
    const CFRange all{0, CFStringGetLength(string)};
    CFIndex needed = 0;
    CFStringGetBytes(string, all, kCFStringEncodingUTF8, '?', false, nullptr, 0, &needed);
    std::string text(std::size_t(needed), '\0');
    CFStringGetBytes(string, all, kCFStringEncodingUTF8, '?', false, reinterpret_cast<UInt8*>(text.data()), needed,
                     nullptr);
    return text;
}

CFStringRef createString(const std::string& utf8)
{
    return CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(utf8.data()), CFIndex(utf8.size()),
                                   kCFStringEncodingUTF8, false);
}

CFTypeRef createValue(const PlistNode& node)
{
    if (!node)
        return nullptr;
    char* raw = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(node.get(), &raw, &length);
    if (!raw)
        return nullptr;
    CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(raw), CFIndex(length));
    std::free(raw);
    CFTypeRef value = CFPropertyListCreateWithData(nullptr, data, 0, nullptr, nullptr);
    CFRelease(data);
    return value;
}

PlistNode plistOf(CFTypeRef value)
{
    if (!value)
        return nullptr;
    CFDataRef data = CFPropertyListCreateData(nullptr, value, kCFPropertyListBinaryFormat_v1_0, 0, nullptr);
    if (!data)
        return nullptr;
    std::vector<char> bytes(std::size_t(CFDataGetLength(data)));
    CFDataGetBytes(data, {0, CFIndex(bytes.size())}, reinterpret_cast<UInt8*>(bytes.data()));
    CFRelease(data);
    plist_t node = nullptr;
    plist_from_memory(bytes.data(), std::uint32_t(bytes.size()), &node);
    return PlistNode(node);
}
