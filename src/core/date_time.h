#pragma once
// Date-time value used everywhere in memory and in the data files: days since 1899-12-30 00:00 as a
// 64-bit float (the fraction is the time of day, local time) plus a status. The calendar rules are
// those of the OLE Automation date: before 1899-12-30 the integer part counts days backwards while
// the fraction still counts forwards into the day (-1.25 is 1899-12-29 06:00).

#include <cstdint>
#include <ctime>
#include <string>

namespace veldrin {

struct CalendarFields {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int dayOfWeek = 0; // 1 = Sunday .. 7 = Saturday; filled by DateTime::fields()
};

enum class DateTimeStatus : int32_t { valid = 0, invalid = 1, null = 2 };

struct DateTime {
    double value = 0.0;
    DateTimeStatus status = DateTimeStatus::valid;

    // Builds a value from calendar fields; years 100..9999. Out-of-range fields (30 February,
    // hour 24, ...) give an invalid value.
    static DateTime fromFields(int year, int month, int day, int hour = 0, int minute = 0,
                               int second = 0);
    static DateTime fromValue(double days) { return DateTime{days, DateTimeStatus::valid}; }
    static DateTime invalidValue() { return DateTime{0.0, DateTimeStatus::invalid}; }

    bool isValid() const { return status == DateTimeStatus::valid; }

    // Calendar fields, rounded to the nearest second. Returns false for a value that is not valid
    // or lies outside years 100..9999.
    bool fields(CalendarFields& out) const;

    // Whole seconds relative to 1899-12-30 00:00 on the linear time line (handles the backwards
    // counting of negative values); rounded to the nearest second. Values far outside the
    // calendar (NaN, infinities, 1e300 from a damaged file) give +-1e15 s, so that second
    // arithmetic on them never overflows.
    int64_t linearSeconds() const;
    static DateTime fromLinearSeconds(int64_t seconds);

    DateTime plusMinutes(int64_t minutes) const;
    DateTime plusSeconds(int64_t seconds) const;

    // Ordering of valid values on the time line.
    friend bool operator<(const DateTime& a, const DateTime& b) { return a.linear() < b.linear(); }
    friend bool operator>(const DateTime& a, const DateTime& b) { return b < a; }
    friend bool operator<=(const DateTime& a, const DateTime& b) { return !(b < a); }
    friend bool operator>=(const DateTime& a, const DateTime& b) { return !(a < b); }
    friend bool operator==(const DateTime& a, const DateTime& b) {
        return a.status == b.status && a.value == b.value;
    }

    // Days on the linear time line (equal to value for non-negative values).
    double linear() const;
    static DateTime fromLinear(double days);
};

// "YYYY-MM-DD HH:MM:SS", or with another character between date and time ('T' for ISO 8601);
// empty for a value that has no calendar fields.
std::string calendarText(const DateTime& time, char separator = ' ');

// Seconds of difference a - b on the time line, rounded to the nearest second.
int64_t secondsBetween(const DateTime& a, const DateTime& b);

// Local-time conversions through the C library (honours TZ).
DateTime localDateTimeFromUnix(std::time_t unixSeconds);
bool unixFromLocalFields(const CalendarFields& f, std::time_t& out);

// "YYYY-MM-DD HH:MM[:SS]"; false when the text is not such a time or names no calendar time.
bool parseDateTimeText(const char* text, DateTime& out);

// The same, telling why a text is refused and whether it gave the time to the minute only.
struct DateTimeText {
    enum class Fault { none, notATime, noSuchDate, noSuchTime };
    Fault fault = Fault::notATime;
    DateTime time;
    bool toTheMinute = false; // no seconds given: the text stands for the whole minute
};
DateTimeText readDateTimeText(const char* text);

} // namespace veldrin
