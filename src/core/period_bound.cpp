#include "core/period_bound.h"

#include "core/shown_text.h"

#include <cstdio>

namespace veldrin {
namespace {

constexpr std::size_t kDateLength = 10; // "YYYY-MM-DD"
constexpr int kLastHour = 23;
constexpr int kLastMinute = 59;
constexpr int kLastSecond = 59;

// The ISO 8601 'T' between date and time read as the blank the reader takes.
std::string withBlankSeparator(std::string text) {
    if (text.size() > kDateLength && text[kDateLength] == 'T') {
        text[kDateLength] = ' ';
    }
    return text;
}

// A date alone, "YYYY-MM-DD": its first or last second; empty when the text is not one.
std::optional<DateTime> dateAlone(const std::string& text, PeriodEnd end) {
    int y = 0;
    int mo = 0;
    int d = 0;
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &y, &mo, &d, &consumed) != 3 ||
        static_cast<std::size_t>(consumed) != text.size()) {
        return std::nullopt;
    }
    return end == PeriodEnd::start
               ? DateTime::fromFields(y, mo, d)
               : DateTime::fromFields(y, mo, d, kLastHour, kLastMinute, kLastSecond);
}

PeriodBound refused(std::string_view option, const std::string& text, const char* why) {
    PeriodBound bound;
    bound.problem = std::string(option) + ": " + shownValue(text) + why;
    return bound;
}

} // namespace

PeriodBound readPeriodBound(std::string_view option, const std::string& text, PeriodEnd end) {
    using Fault = DateTimeText::Fault;
    const std::string plain = withBlankSeparator(text);
    const DateTimeText read = readDateTimeText(plain.c_str());
    PeriodBound bound;
    switch (read.fault) {
    case Fault::none:
        bound.time = end == PeriodEnd::end && read.toTheMinute ? read.time.plusSeconds(kLastSecond)
                                                               : read.time;
        return bound;
    case Fault::noSuchDate:
        return refused(option, text, ": there is no such date");
    case Fault::noSuchTime:
        return refused(option, text, ": there is no such time of day");
    case Fault::notATime:
        break;
    }
    if (const std::optional<DateTime> day = dateAlone(plain, end); day && day->isValid()) {
        bound.time = day;
        return bound;
    }
    return refused(option, text,
                   " is not a time \"YYYY-MM-DD HH:MM[:SS]\", \"YYYY-MM-DDTHH:MM:SS\" or a date "
                   "\"YYYY-MM-DD\"");
}

std::string periodOrderProblem(const DateTime& from, const DateTime& to) {
    return to < from ? "--from lies later than --to" : std::string();
}

} // namespace veldrin
