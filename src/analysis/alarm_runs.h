#pragma once
// What an alarm event is, in one place for the statistics of a window and for the tracker that
// follows records as they arrive.
//
// Only the records a window holds take part (core/record_window.h: a valid time, a temperature
// that is a number); the others are passed over and neither end nor extend a run. A run is a
// stretch of consecutive such records beyond one limit; a record in range ends it, and so does a
// change of its limit or of the delay. Its duration is its records' intervals added up (a
// negative interval counts as none); once that reaches the limits' delay the run is an event.
//
// A period's edge may cut a run: its part inside the period is what is counted, but the delay is
// judged on the whole run, so that a period opening inside a long excursion still shows it. The
// records just outside the period say how the run goes on there (RunsOutside).

#include "core/alarm_limits.h"
#include "core/date_time.h"
#include "core/recorder_types.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace veldrin {

// Whether a stored value lies beyond one limit (Celsius for the temperature limits). A value equal
// to its limit, up to the rounding of the stored tenths, is in range.
bool isBeyondLimit(LimitKind kind, double limit, double value);

// Whether one record lies beyond any limit in force (the delay does not matter here).
bool isOutOfRange(const HistoryRecord& record, const AlarmLimits& limits);

struct AlarmRun {
    std::size_t firstIndex = 0; // the positions given with the records fed
    std::size_t lastIndex = 0;
    DateTime start; // first record out of range
    DateTime end;   // last record out of range
    std::size_t records = 0;
    int64_t minutes = 0;
    double extreme = 0.0; // farthest stored value beyond the limit (Celsius for temperatures)
    // The run outside the records fed, when an edge of theirs cuts it: its minutes there (counted
    // up to the delay, which is all the verdict needs) and whether it has records there at all.
    int64_t minutesBefore = 0;
    int64_t minutesAfter = 0;
    bool openStart = false; // began before the first record fed
    bool openEnd = false;   // goes on after the last one
};

// How the runs going on at one edge of a period go on outside it, one bit per limit in the order
// of LimitKind: the limits whose run has records beyond that edge, and their minutes (counted up
// to the delay).
struct RunsOutside {
    unsigned goesOn = 0;
    std::array<int64_t, 4> minutes{};
};

// The runs going on at records[edge] followed outward, towards the start (`forward` false) or the
// end of `records`, over the records the whole history holds (core/record_window.h).
RunsOutside runsOutside(std::span<const HistoryRecord> records, std::size_t edge, bool forward,
                        const AlarmLimits& limits);

// The runs beyond the four limits, one bit per limit in the order of LimitKind. The records and
// minutes of the records fed are counted once for all runs; a run notes the counts where it
// starts and is made up when it ends.
class AlarmRuns {
public:
    // `before`: how the runs going on at the first record fed began before it.
    explicit AlarmRuns(const AlarmLimits& limits, const RunsOutside& before = {});

    struct Step {
        unsigned ended = 0;   // runs this record ended by being in range
        unsigned reached = 0; // runs that reached the delay with this record: events begin
        unsigned beyond = 0;  // the limits this record lies beyond, delay or not
    };
    // The next record, one the window holds.
    Step feed(const HistoryRecord& record, std::size_t index) {
        const unsigned beyond = beyondBits(record);
        Step step;
        step.beyond = beyond;
        if (beyond != open_) [[unlikely]] {
            step.ended = change(record, index, beyond);
        }
        ++records_;
        minutes_ += std::max(0, record.interval);
        if (open_ != 0) {
            step.reached = extend(record, index);
        }
        return step;
    }
    // Ends every run (the end of a window), noting how they go on `after` it; returns the runs
    // that ended.
    unsigned finish(const RunsOutside& after = {});
    // New limits: the runs of the limits that changed (all of them when the delay did) end and
    // start afresh; returns those of them that were events.
    unsigned setLimits(const AlarmLimits& limits);

    // The last run of a limit that ended.
    const AlarmRun& run(LimitKind kind) const { return ended_[static_cast<std::size_t>(kind)]; }
    bool isEvent(const AlarmRun& run) const {
        return run.minutesBefore + run.minutes + run.minutesAfter >= delay_;
    }
    // Whether an event is going on under a limit: a run beyond it that has reached the delay.
    bool eventGoingOn(LimitKind kind) const {
        return (open_ & events_ & (1u << static_cast<unsigned>(kind))) != 0;
    }

private:
    unsigned beyondBits(const HistoryRecord& record) const {
        const double t = record.temperature;
        const double h = record.humidity;
        return static_cast<unsigned>(t > bound_[0]) | static_cast<unsigned>(t < bound_[1]) << 1 |
               static_cast<unsigned>(h > bound_[2]) << 2 |
               static_cast<unsigned>(h < bound_[3]) << 3;
    }
    // The record belongs to every run going on.
    unsigned extend(const HistoryRecord& record, std::size_t index) {
        extremes_[0] = std::max(extremes_[0], record.temperature);
        extremes_[1] = std::min(extremes_[1], record.temperature);
        extremes_[2] = std::max(extremes_[2], static_cast<double>(record.humidity));
        extremes_[3] = std::min(extremes_[3], static_cast<double>(record.humidity));
        lastIndex_ = index;
        lastTime_ = record.time();
        return (open_ & ~events_) != 0 ? reach() : 0;
    }
    unsigned change(const HistoryRecord& record, std::size_t index, unsigned beyond);
    unsigned reach();
    unsigned close(unsigned which);

    AlarmLimits limits_;
    int64_t delay_ = 0;
    RunsOutside before_;
    std::array<double, 4> bound_{}; // what a value must pass to lie beyond each limit
    unsigned open_ = 0;             // runs going on
    unsigned events_ = 0;           // runs going on that have reached the delay
    std::size_t records_ = 0;       // records fed, and their minutes
    int64_t minutes_ = 0;
    std::size_t lastIndex_ = 0; // the last record fed while a run was going on
    DateTime lastTime_;
    std::array<double, 4> extremes_{};  // of the runs going on (stored values)
    std::array<AlarmRun, 4> started_{}; // runs going on, as they started (counts before them)
    std::array<AlarmRun, 4> ended_{};
};

// Follows records as they arrive and says when an event begins (once the run has lasted the
// delay) and when it ends, for notifications and the alarm hook. Records the window rule leaves
// out (no valid time, a temperature that is not a number) are passed over, as the statistics pass
// over them.
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
    bool active(LimitKind kind) const { return runs_.eventGoingOn(kind); }
    // The begin transitions of the events in progress, for telling of them after records were
    // fed without a word (a history loaded when watching starts).
    std::vector<AlarmTransition> inProgress() const;
    // The end of an event under `kind` said with the newest record fed (an event told of earlier
    // that is no longer going on); none before any record.
    std::optional<AlarmTransition> endAtNewest(LimitKind kind) const;

private:
    AlarmTransition transition(AlarmTransition::State state, LimitKind kind,
                               const HistoryRecord& record) const;

    AlarmRuns runs_;
    bool fahrenheit_ = false;
    std::size_t fed_ = 0;
    std::array<AlarmTransition, 4> begins_{};
    std::optional<HistoryRecord> newest_;
};

} // namespace veldrin
