#pragma once
// Statistics and alarm events over the records of a time window, shared by the command-line tool,
// the window and the printed report. Values are given in the recorder's display unit (Fahrenheit
// converted as the chart converts, core/temperature_unit.h); the limits themselves are compared
// in Celsius.

#include "core/alarm_limits.h"
#include "core/date_time.h"
#include "core/recorder_types.h"
#include "core/temperature_unit.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace veldrin {

// Mean kinetic temperature: activation energy over the gas constant, in kelvin.
inline constexpr double kMktActivationKelvin = 10000.0;
inline constexpr double kCelsiusToKelvin = 273.15;

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
    DateTime start;             // first record out of range
    DateTime end;               // last record out of range
    std::size_t firstIndex = 0; // indexes into the records given
    std::size_t lastIndex = 0;
    std::size_t records = 0;
    int64_t minutes = 0;  // records x their interval in minutes
    double extreme = 0.0; // farthest value beyond the limit, display unit
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

// One pass over `records` (in time order). Records without a valid time or with a temperature
// that is not a number (a damaged file) are left out, as the chart and the list leave them out.
WindowStatistics computeStatistics(std::span<const HistoryRecord> records, bool fahrenheit,
                                   const AlarmLimits& limits);

// The same over the records whose time lies in [from, to], both inclusive and compared to the
// second: exactly the records the list and the export show for that window. A run beyond a limit
// that crosses an edge of the window is cut there; the delay is judged on the part inside.
WindowStatistics computeStatistics(std::span<const HistoryRecord> records, const DateTime& from,
                                   const DateTime& to, bool fahrenheit, const AlarmLimits& limits);

// Whether a stored value lies beyond one limit (Celsius for the temperature limits). A value equal
// to its limit, up to the rounding of the stored tenths, is in range.
bool isBeyondLimit(LimitKind kind, double limit, double value);

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
    // A limit that changed starts afresh; an event in progress under it ends (said with the
    // newest record fed).
    std::vector<AlarmTransition> setLimits(const AlarmLimits& limits, bool fahrenheit);
    std::vector<AlarmTransition> feed(const HistoryRecord& record);
    bool active(LimitKind kind) const;
    // The begin transitions of the events in progress, for telling of them after records were
    // fed without a word (a history loaded when watching starts).
    std::vector<AlarmTransition> inProgress() const;

private:
    struct Run {
        int64_t minutes = 0;
        std::size_t records = 0;
        bool reported = false;
        AlarmTransition begin;
    };
    double displayValue(LimitKind kind, const HistoryRecord& record) const;

    AlarmLimits limits_;
    bool fahrenheit_ = false;
    std::array<Run, 4> runs_{};
    std::optional<HistoryRecord> newest_;
};

} // namespace veldrin
