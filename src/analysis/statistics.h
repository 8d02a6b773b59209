#pragma once
// Statistics and alarm events over the records of a time window, shared by the command-line tool,
// the window and the printed report. The records are those the window holds
// (core/record_window.h), the events those of analysis/alarm_runs.h. Values are given in the
// recorder's display unit (Fahrenheit converted as the chart converts, core/temperature_unit.h);
// the limits themselves are compared in Celsius.

#include "analysis/alarm_runs.h"
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
    DateTime minTime; // the latest record holding the minimum (core/latest_extreme.h)
    double max = 0.0;
    DateTime maxTime; // the latest record holding the maximum
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
    // Cut by an edge of the window: the figures above are those of the part inside it.
    bool openStart = false; // began before the window
    bool openEnd = false;   // goes on after it
};

struct LimitSummary {
    std::size_t events = 0;
    int64_t minutes = 0; // total time out of range, in events only
    // Every record beyond the limit, however short its run (the delay does not matter): their
    // intervals added up.
    int64_t minutesBeyond = 0;
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

// One pass over `records` (in list order), taking those of RecordWindow::wholeHistory(): every
// record with a valid time and a temperature that is a number.
WindowStatistics computeStatistics(std::span<const HistoryRecord> records, bool fahrenheit,
                                   const AlarmLimits& limits);

// The same over the records the window [from, to] holds: exactly the records the list and the
// export show for that window. A run beyond a limit that crosses an edge of the window is cut
// there: its event gives the part inside and is marked open at that edge; the delay is judged on
// the whole run, from the records just outside the window.
WindowStatistics computeStatistics(std::span<const HistoryRecord> records, const DateTime& from,
                                   const DateTime& to, bool fahrenheit, const AlarmLimits& limits);

} // namespace veldrin
