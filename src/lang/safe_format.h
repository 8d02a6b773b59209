#pragma once
// A few language strings are printf-style formats. They come from files that a user can edit, so
// a text is used as a format only when its conversions are exactly the integers that its caller
// supplies; any other text is shown as it stands. The formatting is done here, over the UTF-16
// text itself: the text never reaches a printf-style function.

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace veldrin {

// Widest field a format may ask for; a wider one makes the text unusable as a format, so that a
// user's file cannot make the program build huge strings.
inline constexpr int kMaxFormatWidth = 99;

// True when `format` holds exactly `integerCount` conversions of the form
// %[flags][width]d or %[flags][width]i (flags from "-+ 0", width 1..99), apart from any "%%".
bool formatTakesIntegers(std::u16string_view format, std::size_t integerCount);

// `format` with its conversions filled from `values` and "%%" turned into "%" when it fits the
// values; otherwise `format` unchanged.
std::u16string formatLanguageText(std::u16string_view format,
                                  std::initializer_list<long long> values = {});

// Language string `index` of the current language, formatted as above.
std::u16string formattedLanguageString(int index, std::initializer_list<long long> values = {});

} // namespace veldrin
