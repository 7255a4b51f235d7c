#pragma once

#include <optional>
#include <string>

namespace cf {

// Strict UTF-8: overlong forms, surrogates and values above U+10FFFF are refused.
std::optional<std::u16string> utf16FromUtf8(const char* bytes, std::size_t count);
// Lone surrogates become lossByte; with lossByte 0 the conversion stops before them.
// unitsConverted receives how many UTF-16 units went into the result.
std::string utf8FromUtf16(const char16_t* units, std::size_t count, char lossByte, std::size_t* unitsConverted = nullptr);

} // namespace cf
