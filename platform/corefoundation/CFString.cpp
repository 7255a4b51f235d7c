#include "CFObject.h"
#include "Exports.h"
#include "Utf.h"

#include <cstring>

using namespace cf;

CFIndex CFStringGetLength(CFStringRef string)
{
    const String* s = checkedAs<String>(string, stringType, "CFStringGetLength");
    return s ? CFIndex(s->units.size()) : 0;
}

// Only UTF-8 is offered. Without a buffer the call counts: it returns the UTF-16 units
// that would be converted and the UTF-8 bytes they need.
CFIndex CFStringGetBytes(CFStringRef string, CFRange range, CFStringEncoding encoding, UInt8 lossByte, ::Boolean,
                         UInt8* buffer, CFIndex maxBufferLength, CFIndex* usedBufferLength)
{
    const String* s = checkedAs<String>(string, stringType, "CFStringGetBytes");
    if (usedBufferLength)
        *usedBufferLength = 0;
    if (!s || encoding != kCFStringEncodingUTF8)
        return 0;
    if (!rangeInside(range, s->units.size()))
        abortWith("CFStringGetBytes", "range outside the string");
    std::size_t converted = 0;
    std::string bytes = utf8FromUtf16(s->units.data() + range.location, std::size_t(range.length), char(lossByte), &converted);
    if (buffer) {
        // Stop before the first character that does not fit whole.
        const std::size_t room = maxBufferLength > 0 ? std::size_t(maxBufferLength) : 0;
        if (bytes.size() > room) {
            std::size_t cut = room;
            while (cut > 0 && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80)
                --cut;
            bytes.resize(cut);
            converted = 0;
            for (std::size_t i = 0; i < bytes.size(); ++i) {
                const unsigned char c = static_cast<unsigned char>(bytes[i]);
                if ((c & 0xC0) != 0x80)
                    converted += (c >= 0xF0) ? 2 : 1;
            }
        }
        std::memcpy(buffer, bytes.data(), bytes.size());
    }
    if (usedBufferLength)
        *usedBufferLength = CFIndex(bytes.size());
    return CFIndex(converted);
}

CFStringRef CFStringCreateWithBytes(CFAllocatorRef, const UInt8* bytes, CFIndex count, CFStringEncoding encoding,
                                    ::Boolean)
{
    if (count < 0 || (count > 0 && !bytes) || encoding != kCFStringEncodingUTF8)
        return nullptr;
    auto units = utf16FromUtf8(reinterpret_cast<const char*>(bytes), std::size_t(count));
    if (!units)
        return nullptr;
    return toRef<CFStringRef>(new String(std::move(*units)));
}
