#include "core/date_time.h"

#include "core/file_system.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace veldrin {
namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kEpochOffsetDays = 25569; // 1899-12-30 to 1970-01-01

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (m <= 2));
}

bool isLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

int64_t floorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) {
        --q;
    }
    return q;
}

constexpr double kMinLinear = -657434.0; // 0100-01-01
constexpr double kMaxLinear = 2958466.0; // 10000-01-01
// Values from damaged files reach any double. Seconds are held within this bound: far beyond every
// calendar time, and far enough from the int64 limits that adding the intervals of a whole history
// cannot overflow.
constexpr double kSecondsLimit = 1e15;

} // namespace

double DateTime::linear() const {
    if (value >= 0.0) {
        return value;
    }
    const double whole = std::trunc(value);
    return whole + std::fabs(value - whole);
}

DateTime DateTime::fromLinear(double days) {
    if (days >= 0.0) {
        return fromValue(days);
    }
    const double whole = std::floor(days);
    const double fraction = days - whole;
    return fromValue(fraction == 0.0 ? whole : whole - fraction);
}

DateTime DateTime::fromFields(int year, int month, int day, int hour, int minute, int second) {
    if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > daysInMonth(year, month) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 59) {
        return invalidValue();
    }
    const int64_t days =
        daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
        kEpochOffsetDays;
    const int64_t seconds = int64_t{hour} * 3600 + int64_t{minute} * 60 + second;
    return fromLinear(static_cast<double>(days) + static_cast<double>(seconds) / kSecondsPerDay);
}

int64_t DateTime::linearSeconds() const {
    const double seconds = linear() * static_cast<double>(kSecondsPerDay);
    if (!(seconds > -kSecondsLimit)) { // also NaN
        return static_cast<int64_t>(-kSecondsLimit);
    }
    if (seconds > kSecondsLimit) {
        return static_cast<int64_t>(kSecondsLimit);
    }
    return std::llround(seconds);
}

DateTime DateTime::fromLinearSeconds(int64_t seconds) {
    // Whole days and the second of the day are joined separately so that a time of day is
    // represented exactly as the calendar constructor would build it.
    const int64_t days = floorDiv(seconds, kSecondsPerDay);
    const int64_t ofDay = seconds - days * kSecondsPerDay;
    return fromLinear(static_cast<double>(days) + static_cast<double>(ofDay) / kSecondsPerDay);
}

DateTime DateTime::plusMinutes(int64_t minutes) const {
    return plusSeconds(minutes * 60);
}

DateTime DateTime::plusSeconds(int64_t seconds) const {
    DateTime result = fromLinearSeconds(linearSeconds() + seconds);
    result.status = status;
    return result;
}

bool DateTime::fields(CalendarFields& out) const {
    if (!isValid()) {
        return false;
    }
    const double lin = linear();
    if (!(lin >= kMinLinear && lin < kMaxLinear)) {
        return false;
    }
    const int64_t total = linearSeconds();
    const int64_t days = floorDiv(total, kSecondsPerDay);
    const int64_t ofDay = total - days * kSecondsPerDay;
    int y = 0;
    int m = 0;
    int d = 0;
    civilFromDays(days - kEpochOffsetDays, y, m, d);
    if (y < 100 || y > 9999) {
        return false;
    }
    out.year = y;
    out.month = m;
    out.day = d;
    out.hour = static_cast<int>(ofDay / 3600);
    out.minute = static_cast<int>(ofDay / 60 % 60);
    out.second = static_cast<int>(ofDay % 60);
    // 1899-12-30 was a Saturday (7).
    out.dayOfWeek = static_cast<int>(((days % 7) + 7 + 6) % 7) + 1;
    return true;
}

std::string calendarText(const DateTime& time, char separator) {
    CalendarFields f;
    if (!time.fields(f)) {
        return {};
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d%c%02d:%02d:%02d", f.year, f.month, f.day,
                  separator, f.hour, f.minute, f.second);
    return buffer;
}

int64_t secondsBetween(const DateTime& a, const DateTime& b) {
    return a.linearSeconds() - b.linearSeconds();
}

DateTime localDateTimeFromUnix(std::time_t unixSeconds) {
    std::tm tm{};
    if (!localCalendarTime(unixSeconds, tm)) {
        return DateTime::invalidValue();
    }
    return DateTime::fromFields(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                                tm.tm_sec > 59 ? 59 : tm.tm_sec);
}

bool unixFromLocalFields(const CalendarFields& f, std::time_t& out) {
    std::tm tm{};
    tm.tm_year = f.year - 1900;
    tm.tm_mon = f.month - 1;
    tm.tm_mday = f.day;
    tm.tm_hour = f.hour;
    tm.tm_min = f.minute;
    tm.tm_sec = f.second;
    tm.tm_isdst = -1;
    out = std::mktime(&tm);
    return out != static_cast<std::time_t>(-1);
}

DateTimeText readDateTimeText(const char* text) {
    using Fault = DateTimeText::Fault;
    int y = 0;
    int mo = 0;
    int d = 0;
    int h = 0;
    int mi = 0;
    int s = 0;
    int consumed = 0;
    const std::size_t length = std::strlen(text);
    const auto whole = [&] { return static_cast<std::size_t>(consumed) == length; };
    DateTimeText out;
    if (std::sscanf(text, "%4d-%2d-%2d %2d:%2d:%2d%n", &y, &mo, &d, &h, &mi, &s, &consumed) == 6 &&
        whole()) {
        out.fault = Fault::none;
    } else if (consumed = 0;
               std::sscanf(text, "%4d-%2d-%2d %2d:%2d%n", &y, &mo, &d, &h, &mi, &consumed) == 5 &&
               whole()) {
        out.fault = Fault::none;
        out.toTheMinute = true;
        s = 0;
    } else if (consumed = 0;
               std::sscanf(text, "%4d-%2d-%2d%n", &y, &mo, &d, &consumed) == 3 && whole()) {
        // A date alone is no time; a date that does not exist is worth saying so.
        out.fault = DateTime::fromFields(y, mo, d).isValid() ? Fault::notATime : Fault::noSuchDate;
        return out;
    } else {
        return out;
    }
    out.time = DateTime::fromFields(y, mo, d, h, mi, s);
    if (!out.time.isValid()) {
        out.fault =
            DateTime::fromFields(y, mo, d).isValid() ? Fault::noSuchTime : Fault::noSuchDate;
    }
    return out;
}

bool parseDateTimeText(const char* text, DateTime& out) {
    const DateTimeText read = readDateTimeText(text);
    if (read.fault != DateTimeText::Fault::none) {
        return false;
    }
    out = read.time;
    return true;
}

} // namespace veldrin
