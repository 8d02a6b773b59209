#include "analysis/alarm_runs.h"

#include "core/record_window.h"
#include "core/temperature_unit.h"

#include <algorithm>
#include <bit>
#include <limits>

namespace veldrin {
namespace {

// Stored temperatures are tenths of a degree; a value within this of its limit equals it.
constexpr double kLimitTolerance = 1e-6;
constexpr double kInfinity = std::numeric_limits<double>::infinity();

std::size_t slot(LimitKind kind) {
    return static_cast<std::size_t>(kind);
}

unsigned bit(LimitKind kind) {
    return 1u << slot(kind);
}

double storedValue(LimitKind kind, const HistoryRecord& record) {
    return isTemperatureLimit(kind) ? record.temperature : static_cast<double>(record.humidity);
}

// Calls `f` with each limit whose bit is set, in the order of LimitKind.
template <class F> void forEachLimit(unsigned bits, F f) {
    for (; bits != 0; bits &= bits - 1) {
        f(static_cast<LimitKind>(std::countr_zero(bits)));
    }
}

} // namespace

bool isBeyondLimit(LimitKind kind, double limit, double value) {
    return isHighLimit(kind) ? value > limit + kLimitTolerance : value < limit - kLimitTolerance;
}

bool isOutOfRange(const HistoryRecord& record, const AlarmLimits& limits) {
    for (const LimitKind kind : kLimitKinds) {
        if (const auto& limit = limits[kind];
            limit && isBeyondLimit(kind, *limit, storedValue(kind, record))) {
            return true;
        }
    }
    return false;
}

RunsOutside runsOutside(std::span<const HistoryRecord> records, std::size_t edge, bool forward,
                        const AlarmLimits& limits) {
    static const RecordWindow kWholeHistory = RecordWindow::wholeHistory();
    RunsOutside out;
    if (edge >= records.size()) {
        return out;
    }
    const int64_t delay = std::max(0, limits.delayMinutes);
    const auto beyond = [&](LimitKind kind, const HistoryRecord& r) {
        return limits[kind] && isBeyondLimit(kind, *limits[kind], storedValue(kind, r));
    };
    unsigned followed = 0;
    for (const LimitKind kind : kLimitKinds) {
        followed |= beyond(kind, records[edge]) ? bit(kind) : 0u;
    }
    // Followed only as far as the verdict needs: up to the run's end or the delay.
    for (std::size_t i = edge; followed != 0 && (forward ? i + 1 < records.size() : i > 0);) {
        const HistoryRecord& r = records[forward ? ++i : --i];
        if (!kWholeHistory.holds(r)) {
            continue;
        }
        forEachLimit(followed, [&](LimitKind kind) {
            if (!beyond(kind, r)) {
                followed &= ~bit(kind);
                return;
            }
            out.goesOn |= bit(kind);
            int64_t& minutes = out.minutes[slot(kind)];
            minutes += std::max(0, r.interval);
            if (minutes >= delay) {
                followed &= ~bit(kind);
            }
        });
    }
    return out;
}

AlarmRuns::AlarmRuns(const AlarmLimits& limits, const RunsOutside& before) : before_(before) {
    setLimits(limits);
}

unsigned AlarmRuns::finish(const RunsOutside& after) {
    const unsigned ended = close(open_);
    forEachLimit(ended & after.goesOn, [&](LimitKind kind) {
        ended_[slot(kind)].openEnd = true;
        ended_[slot(kind)].minutesAfter = after.minutes[slot(kind)];
    });
    return ended;
}

unsigned AlarmRuns::setLimits(const AlarmLimits& limits) {
    unsigned changed = 0;
    for (const LimitKind kind : kLimitKinds) {
        if (!(limits[kind] == limits_[kind]) || limits.delayMinutes != limits_.delayMinutes) {
            changed |= bit(kind);
        }
        // The same comparison as isBeyondLimit(), worked out once; a limit that is off is never
        // passed.
        const auto& limit = limits[kind];
        const bool high = isHighLimit(kind);
        bound_[slot(kind)] = limit ? (high ? *limit + kLimitTolerance : *limit - kLimitTolerance)
                                   : (high ? kInfinity : -kInfinity);
    }
    limits_ = limits;
    delay_ = std::max(0, limits.delayMinutes);
    const unsigned endedEvents = open_ & events_ & changed;
    close(open_ & changed);
    return endedEvents;
}

unsigned AlarmRuns::close(unsigned which) {
    forEachLimit(which, [&](LimitKind kind) {
        AlarmRun run = started_[slot(kind)];
        run.lastIndex = lastIndex_;
        run.end = lastTime_;
        run.records = records_ - run.records;
        run.minutes = minutes_ - run.minutes;
        run.extreme = extremes_[slot(kind)];
        ended_[slot(kind)] = run;
    });
    open_ &= ~which;
    events_ &= ~which;
    return which;
}

unsigned AlarmRuns::change(const HistoryRecord& record, std::size_t index, unsigned beyond) {
    const unsigned ended = close(open_ & ~beyond);
    forEachLimit(beyond & ~open_, [&](LimitKind kind) {
        // The counts so far, taken off when the run ends.
        AlarmRun& run = started_[slot(kind)];
        // Only a run going on at the first record fed can have begun before it.
        const bool openStart = records_ == 0 && (before_.goesOn & bit(kind)) != 0;
        run = AlarmRun{
            index,    index,     record.time(), record.time(),
            records_, minutes_,  0.0,           openStart ? before_.minutes[slot(kind)] : 0,
            0,        openStart, false};
        extremes_[slot(kind)] = storedValue(kind, record);
    });
    open_ = beyond;
    return ended;
}

unsigned AlarmRuns::reach() {
    unsigned reached = 0;
    forEachLimit(open_ & ~events_, [&](LimitKind kind) {
        const AlarmRun& run = started_[slot(kind)];
        if (run.minutesBefore + minutes_ - run.minutes >= delay_) {
            reached |= bit(kind);
        }
    });
    events_ |= reached;
    return reached;
}

AlarmTracker::AlarmTracker(const AlarmLimits& limits, bool fahrenheit)
    : runs_(limits), fahrenheit_(fahrenheit) {}

AlarmTransition AlarmTracker::transition(AlarmTransition::State state, LimitKind kind,
                                         const HistoryRecord& record) const {
    const double value = isTemperatureLimit(kind)
                             ? displayTemperature(record.temperature, fahrenheit_)
                             : static_cast<double>(record.humidity);
    return AlarmTransition{state, kind, value, record.time()};
}

std::vector<AlarmTransition> AlarmTracker::setLimits(const AlarmLimits& limits, bool fahrenheit) {
    fahrenheit_ = fahrenheit;
    std::vector<AlarmTransition> ended;
    forEachLimit(runs_.setLimits(limits), [&](LimitKind kind) {
        if (newest_) {
            ended.push_back(transition(AlarmTransition::State::end, kind, *newest_));
        }
    });
    return ended;
}

std::vector<AlarmTransition> AlarmTracker::feed(const HistoryRecord& record) {
    static const RecordWindow kWholeHistory = RecordWindow::wholeHistory();
    std::vector<AlarmTransition> out;
    if (!kWholeHistory.holds(record)) {
        return out;
    }
    newest_ = record;
    const AlarmRuns::Step step = runs_.feed(record, fed_++);
    // A limit either ends its run or reaches the delay with one record, never both.
    forEachLimit(step.ended | step.reached, [&](LimitKind kind) {
        if ((step.reached & bit(kind)) != 0) {
            begins_[slot(kind)] = transition(AlarmTransition::State::begin, kind, record);
            out.push_back(begins_[slot(kind)]);
        } else if (runs_.isEvent(runs_.run(kind))) {
            out.push_back(transition(AlarmTransition::State::end, kind, record));
        }
    });
    return out;
}

std::optional<AlarmTransition> AlarmTracker::endAtNewest(LimitKind kind) const {
    if (!newest_) {
        return std::nullopt;
    }
    return transition(AlarmTransition::State::end, kind, *newest_);
}

std::vector<AlarmTransition> AlarmTracker::inProgress() const {
    std::vector<AlarmTransition> out;
    for (const LimitKind kind : kLimitKinds) {
        if (runs_.eventGoingOn(kind)) {
            out.push_back(begins_[slot(kind)]);
        }
    }
    return out;
}

} // namespace veldrin
