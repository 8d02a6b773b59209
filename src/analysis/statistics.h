#pragma once
// Statistics and alarm events over the records of a time window, shared by the command-line tool,
// the window and the printed report. Values are given in the recorder's display unit (Fahrenheit
// converted as the chart converts); the limits themselves are compared in Celsius.

#include "core/alarm_limits.h"
#include "core/date_time.h"
#include "core/recorder_types.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace veldrin {

struct ValueStatistics {
    double min = 0.0;
    DateTime minTime; // first record holding the minimum
    double max = 0.0;
    DateTime maxTime; // first record holding the maximum
    double mean = 0.0;
    double stddev = 0.0; // population standard deviation
};

// A run of consecutive records beyond one limit that lasted at least the limits' delay.
struct AlarmEvent {
    LimitKind limit = LimitKind::tempHigh;
    DateTime start;            // first record out of range
    DateTime end;              // last record out of range
    std::size_t firstIndex = 0; // indexes into the records given
    std::size_t lastIndex = 0;
    std::size_t records = 0;
    int64_t minutes = 0;       // records x their interval in minutes
    double extreme = 0.0;      // farthest value beyond the limit, display unit
};

struct LimitSummary {
    std::size_t events = 0;
    int64_t minutes = 0; // total time out of range, in events only
    std::optional<DateTime> firstStart;
};

struct WindowStatistics {
    std::size_t records = 0;
    DateTime first;
    DateTime last;
    bool fahrenheit = false;
    std::optional<ValueStatistics> temperature; // display unit; none without records
    std::optional<ValueStatistics> humidity;
    std::optional<double> meanKineticTemperature; // display unit; none without records
    std::vector<AlarmEvent> events;               // in order of their start
    std::array<LimitSummary, 4> perLimit{};       // indexed by LimitKind
};

// One pass over `records` (in time order).
WindowStatistics computeStatistics(std::span<const HistoryRecord> records, bool fahrenheit,
                                   const AlarmLimits& limits);

// Display-unit value of a stored Celsius temperature, as the chart converts.
double displayTemperature(double celsius, bool fahrenheit);

// Whether one record lies beyond any limit in force (the delay does not matter here).
bool isOutOfRange(const HistoryRecord& record, const AlarmLimits& limits);

// Follows records as they arrive and says when an event begins (once the run has lasted the
// delay) and when it ends, for notifications and the alarm hook.
struct AlarmTransition {
    enum class State { begin, end };
    State state = State::begin;
    LimitKind limit = LimitKind::tempHigh;
    double value = 0.0; // display unit: the record that made the transition
    DateTime time;
};

class AlarmTracker {
public:
    AlarmTracker(const AlarmLimits& limits, bool fahrenheit);
    void setLimits(const AlarmLimits& limits, bool fahrenheit);
    std::vector<AlarmTransition> feed(const HistoryRecord& record);
    bool active(LimitKind kind) const;

private:
    struct Run {
        int64_t minutes = 0;
        std::size_t records = 0;
        bool reported = false;
    };
    AlarmLimits limits_;
    bool fahrenheit_ = false;
    std::array<Run, 4> runs_{};
};

} // namespace veldrin
