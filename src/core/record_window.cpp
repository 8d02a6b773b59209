#include "core/record_window.h"

#include <limits>

namespace veldrin {
namespace {

constexpr double kSecondsPerDay = 86400.0;
// Beyond this many days from 1899 no time is a calendar time: such values (a damaged file) lie
// outside every window, and a window with such an end holds nothing.
constexpr double kCalendarDays = 3.0e6;
constexpr double kInfinity = std::numeric_limits<double>::infinity();

bool inCalendar(const DateTime& t) {
    return t.isValid() && std::fabs(t.linear()) < kCalendarDays;
}

// The least day value of at least 0 whose seconds, as `days x 86400` gives them, reach
// `seconds`: the product grows with the days, so comparing days to this compares the seconds.
double firstDayReaching(double seconds) {
    if (!(seconds > 0.0)) {
        return 0.0;
    }
    double days = seconds / kSecondsPerDay;
    while (days * kSecondsPerDay < seconds) {
        days = std::nextafter(days, kInfinity);
    }
    for (double below = std::nextafter(days, 0.0); below * kSecondsPerDay >= seconds;
         below = std::nextafter(days, 0.0)) {
        days = below;
    }
    return days;
}

} // namespace

// A record's second is its time rounded to the nearest second; the rounding is done on the
// window's bounds instead (half a second either way).
RecordWindow::RecordWindow(const DateTime& from, const DateTime& to) {
    if (!inCalendar(from) || !inCalendar(to)) {
        return;
    }
    low_ = static_cast<double>(from.linearSeconds()) - 0.5;
    high_ = static_cast<double>(to.linearSeconds()) + 0.5;
    firstDay_ = firstDayReaching(low_);
    endDay_ = firstDayReaching(high_);
}

RecordWindow RecordWindow::wholeHistory() {
    RecordWindow w;
    w.whole_ = true;
    // Finite bounds: an infinite time is no time.
    w.firstDay_ = -std::numeric_limits<double>::max();
    w.endDay_ = std::numeric_limits<double>::max();
    return w;
}

double RecordWindow::lastDay() const {
    return std::nextafter(endDay_, -kInfinity);
}

// Halves are rounded away from zero (as DateTime::linearSeconds rounds): x.5 seconds belongs to
// the earlier second before 1899, to the later one after.
bool RecordWindow::holdsEarlyTime(double value) const {
    if (whole_ || !(value > -kCalendarDays)) {
        return false; // NaN and far times; the whole history's others took the quick way
    }
    const double seconds = DateTime::fromValue(value).linear() * kSecondsPerDay;
    return seconds >= 0.0 ? seconds >= low_ && seconds < high_ : seconds > low_ && seconds <= high_;
}

} // namespace veldrin
