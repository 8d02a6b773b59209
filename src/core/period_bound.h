#pragma once
// The start and end of a period as `--from` and `--to` give them, read alike by veldrin-cli and
// `veldrin --report`: "YYYY-MM-DD HH:MM[:SS]", the same with 'T' between date and time (as
// `stats --json` prints times), or a date alone. The end is inclusive: a time to the minute takes
// in that whole minute, a date alone that whole day; a date alone as the start is its midnight.

#include "core/date_time.h"

#include <optional>
#include <string>
#include <string_view>

namespace veldrin {

enum class PeriodEnd { start, end };

struct PeriodBound {
    std::optional<DateTime> time; // empty when the text is refused
    std::string problem;          // why, naming the option
};

PeriodBound readPeriodBound(std::string_view option, const std::string& text, PeriodEnd end);

// Empty when the period is in order, else why it is refused.
std::string periodOrderProblem(const DateTime& from, const DateTime& to);

} // namespace veldrin
