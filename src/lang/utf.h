#pragma once
// Conversions between the UTF-16 texts of the language tables and the UTF-8 of files, terminals
// and the rest of the program. Malformed input never fails: every unit or byte sequence that does
// not form a character becomes U+FFFD.

#include <string>
#include <string_view>

namespace veldrin {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

std::string utf16ToUtf8(std::u16string_view text);
std::u16string utf8ToUtf16(std::string_view text);

} // namespace veldrin
