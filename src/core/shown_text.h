#pragma once
// A value taken from a file or the command line, as a message may repeat it: in double quotes, at
// most kShownCharacters characters (then "..."), control bytes written as \xHH, so that a damaged
// or hostile value can neither flood a terminal or a journal nor move its cursor.

#include <cstddef>
#include <string>
#include <string_view>

namespace veldrin {

constexpr std::size_t kShownCharacters = 40;

std::string shownValue(std::string_view text, std::size_t maxCharacters = kShownCharacters);

} // namespace veldrin
