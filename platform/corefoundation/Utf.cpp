#include "Utf.h"

namespace cf {

std::optional<std::u16string> utf16FromUtf8(const char* bytes, std::size_t count)
{
    std::u16string out;
    out.reserve(count);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    std::size_t i = 0;
    while (i < count) {
        const unsigned char lead = p[i];
        char32_t cp;
        std::size_t extra;
        char32_t minimum;
        if (lead < 0x80) {
            cp = lead;
            extra = 0;
            minimum = 0;
        } else if ((lead & 0xE0) == 0xC0) {
            cp = lead & 0x1F;
            extra = 1;
            minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            cp = lead & 0x0F;
            extra = 2;
            minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            cp = lead & 0x07;
            extra = 3;
            minimum = 0x10000;
        } else {
            return std::nullopt;
        }
        if (count - i - 1 < extra)
            return std::nullopt;
        for (std::size_t k = 1; k <= extra; ++k) {
            const unsigned char c = p[i + k];
            if ((c & 0xC0) != 0x80)
                return std::nullopt;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return std::nullopt;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(char16_t(0xD800 + (cp >> 10)));
            out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(char16_t(cp));
        }
        i += extra + 1;
    }
    return out;
}

std::string utf8FromUtf16(const char16_t* units, std::size_t count, char lossByte, std::size_t* unitsConverted)
{
    std::string out;
    out.reserve(count);
    std::size_t i = 0;
    for (; i < count; ++i) {
        char32_t cp = units[i];
        std::size_t width = 1;
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            width = 2;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            if (!lossByte)
                break;
            out.push_back(lossByte);
            continue;
        }
        if (cp < 0x80) {
            out.push_back(char(cp));
        } else if (cp < 0x800) {
            out.push_back(char(0xC0 | (cp >> 6)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(char(0xE0 | (cp >> 12)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (cp >> 18)));
            out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        }
        i += width - 1;
    }
    if (unitsConverted)
        *unitsConverted = i;
    return out;
}

} // namespace cf
