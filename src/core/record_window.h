#pragma once
// Which records a time window holds: the one rule of the chart, the record list, the CSV file,
// the statistics and their alarm events, so that every page and every output counts the same
// records.
//
// A record counts when
//   - its time is valid and, rounded to the second, lies in [from, to], both ends inclusive and
//     rounded to the second as well (a window whose end lies before its start holds nothing, and
//     so does one whose ends are not calendar times);
//   - its temperature is a number in Celsius and in Fahrenheit alike (a damaged file can hold
//     NaN, infinities or values so large that the conversion overflows), so that switching the
//     unit never changes which records count.

#include "core/date_time.h"
#include "core/recorder_types.h"
#include "core/temperature_unit.h"

#include <cmath>

namespace veldrin {

// Whether a stored temperature is a measurement in both units.
inline bool isCountedTemperature(double celsius) {
    return std::isfinite(celsius * kFahrenheitFactor + kFahrenheitOffset);
}

class RecordWindow {
public:
    RecordWindow(const DateTime& from, const DateTime& to);
    // Every record with a valid time and a counted temperature, whatever its time.
    static RecordWindow wholeHistory();

    // The rule itself.
    bool holds(const HistoryRecord& record) const {
        return record.timeStatus == static_cast<uint8_t>(DateTimeStatus::valid) &&
               holdsTime(record.timeValue) && isCountedTemperature(record.temperature);
    }

    // The time part of the rule for a valid time value. Times from 1899-12-30 on compare as days
    // against bounds worked out once; earlier ones (counted backwards) go the long way.
    bool holdsTime(double value) const {
        if (value >= firstDay_) [[likely]] {
            return value < endDay_;
        }
        return value < 0.0 && holdsEarlyTime(value);
    }

    // The time values of at least 0 days that the window holds are exactly those in
    // [firstDay(), lastDay()] (empty when firstDay() > lastDay()), for loops that test a range.
    double firstDay() const { return firstDay_; }
    double lastDay() const;

private:
    RecordWindow() = default;
    bool holdsEarlyTime(double value) const;

    bool whole_ = false;
    // The window's seconds widened by the rounding: [from - 0.5, to + 0.5].
    double low_ = 0.0;
    double high_ = -1.0;
    // The least day values (at least 0) whose seconds reach low_ and high_.
    double firstDay_ = 1.0;
    double endDay_ = 0.0;
};

} // namespace veldrin
