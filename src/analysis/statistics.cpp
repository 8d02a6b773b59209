#include "analysis/statistics.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace veldrin {
namespace {

// Stored temperatures are tenths of a degree; a value within this of its limit equals it.
constexpr double kLimitTolerance = 1e-6;
constexpr double kSecondsPerDay = 86400.0;
// Beyond this many days from 1899 no record time is a calendar time (as the list rules).
constexpr double kCalendarDays = 3.0e6;
constexpr double kInfinity = std::numeric_limits<double>::infinity();

std::size_t slot(LimitKind kind) {
    return static_cast<std::size_t>(kind);
}

double storedValue(LimitKind kind, const HistoryRecord& record) {
    return isTemperatureLimit(kind) ? record.temperature : static_cast<double>(record.humidity);
}

bool usable(const HistoryRecord& record) {
    return record.timeStatus == static_cast<uint8_t>(DateTimeStatus::valid) &&
           std::isfinite(record.temperature);
}

int64_t intervalMinutes(const HistoryRecord& record) {
    return std::max<int64_t>(0, record.interval);
}

// The mean kinetic temperature's sum of exp(-dH/(R T)). Recorded temperatures are tenths of a
// degree stored as raw x 0.1 - 40, so a pass only counts how often each such value occurs, and
// the exponential is taken once per distinct value at the end. A value that is not one of them
// (a file written otherwise) is summed as it comes.
class KineticTerms {
public:
    KineticTerms() {
        for (std::size_t raw = 0; raw < kTableSize; ++raw) {
            tenths_[raw] = static_cast<double>(raw) * 0.1 - kTableOffset;
        }
    }

    void add(double celsius) {
        const double key = (celsius + kTableOffset) * kTableSteps + 0.5;
        if (key >= 0.0 && key < static_cast<double>(kTableSize)) {
            const auto raw = static_cast<std::size_t>(key);
            if (tenths_[raw] == celsius) {
                ++counts_[raw];
                return;
            }
        }
        addTerm(celsius, 1);
    }

    // In Celsius; none for a temperature at or below absolute zero (a damaged file) or a sum
    // that underflowed.
    std::optional<double> celsius(std::size_t count) {
        for (std::size_t raw = 0; raw < kTableSize; ++raw) {
            if (counts_[raw] != 0) {
                addTerm(tenths_[raw], counts_[raw]);
            }
        }
        if (count == 0 || !valid_ || !(sum_ > 0.0)) {
            return std::nullopt;
        }
        const double kelvin = kMktActivationKelvin / -std::log(sum_ / static_cast<double>(count));
        return kelvin - kCelsiusToKelvin;
    }

private:
    static constexpr double kTableOffset = 40.0;
    static constexpr double kTableSteps = 10.0;
    static constexpr std::size_t kTableSize = 4096;

    void addTerm(double celsius, uint32_t times) {
        const double kelvin = celsius + kCelsiusToKelvin;
        if (!(kelvin > 0.0)) {
            valid_ = false;
            return;
        }
        sum_ += static_cast<double>(times) * std::exp(-kMktActivationKelvin / kelvin);
    }

    std::array<double, kTableSize> tenths_{};
    std::array<uint32_t, kTableSize> counts_{};
    double sum_ = 0.0;
    bool valid_ = true;
};

// Minimum and maximum with the first record holding them, and sums about the first value, which
// keep the variance exact for values close together however many there are. Kept in local
// variables of the pass, so that they stay in registers.
template <class Value, class Sum> struct ValueAccumulator {
    Value shift{};
    Value min{};
    Value max{};
    std::size_t minIndex = 0;
    std::size_t maxIndex = 0;
    Sum sum{};
    Sum squares{};

    void start(Value value, std::size_t index) {
        shift = min = max = value;
        minIndex = maxIndex = index;
    }
    void add(Value value, std::size_t index) {
        if (value < min) {
            min = value;
            minIndex = index;
        }
        if (value > max) {
            max = value;
            maxIndex = index;
        }
        const Sum d = static_cast<Sum>(value) - static_cast<Sum>(shift);
        sum += d;
        squares += d * d;
    }

    // `convert` turns values, `convertSpan` differences into the display unit.
    template <class Convert, class ConvertSpan>
    std::optional<ValueStatistics> result(std::span<const HistoryRecord> records, std::size_t count,
                                          Convert convert, ConvertSpan convertSpan) const {
        if (count == 0) {
            return std::nullopt;
        }
        const double n = static_cast<double>(count);
        const double meanOffset = static_cast<double>(sum) / n;
        const double variance =
            std::max(0.0, static_cast<double>(squares) / n - meanOffset * meanOffset);
        ValueStatistics out;
        out.min = convert(static_cast<double>(min));
        out.minTime = records[minIndex].time();
        out.max = convert(static_cast<double>(max));
        out.maxTime = records[maxIndex].time();
        out.mean = convert(static_cast<double>(shift) + meanOffset);
        out.stddev = convertSpan(std::sqrt(variance));
        return out;
    }
};

// Where the pass stands when the limits a record lies beyond differ from the previous record's.
struct PassPoint {
    std::size_t index = 0;    // this record
    std::size_t previous = 0; // the window's record before it
    std::size_t count = 0;    // records of the window before this one
    int64_t minutes = 0;      // their minutes
};

// The runs beyond the four limits. The pass gives each record only four bits (the limits it lies
// beyond) and keeps the running extremes; the bookkeeping here is done when the bits change, so
// that the common record costs no branch the data decides.
class RunBook {
public:
    RunBook(std::span<const HistoryRecord> records, const AlarmLimits& limits)
        : records_(records), delay_(std::max(0, limits.delayMinutes)) {}

    // `extremes`: the runs' extremes up to the previous record; a run that starts here starts
    // its extreme afresh.
    [[gnu::noinline]] void change(unsigned was, unsigned is, const PassPoint& at,
                                  std::array<double, 4>& extremes) {
        for (const LimitKind kind : kLimitKinds) {
            const unsigned bit = 1u << slot(kind);
            if ((was & bit) != 0 && (is & bit) == 0) {
                close(kind, at, extremes[slot(kind)]);
            } else if ((was & bit) == 0 && (is & bit) != 0) {
                open_[slot(kind)] = at;
                extremes[slot(kind)] = isHighLimit(kind) ? -kInfinity : kInfinity;
            }
        }
    }

    std::vector<AlarmEvent> finish(unsigned open, const PassPoint& end,
                                   std::array<double, 4>& extremes) {
        change(open, 0, end, extremes);
        std::sort(events_.begin(), events_.end(), [](const AlarmEvent& a, const AlarmEvent& b) {
            return a.firstIndex != b.firstIndex ? a.firstIndex < b.firstIndex
                                                : slot(a.limit) < slot(b.limit);
        });
        return std::move(events_);
    }

private:
    void close(LimitKind kind, const PassPoint& at, double extreme) {
        const PassPoint& from = open_[slot(kind)];
        if (at.minutes - from.minutes < delay_) {
            return;
        }
        AlarmEvent e;
        e.limit = kind;
        e.firstIndex = from.index;
        e.lastIndex = at.previous;
        e.start = records_[from.index].time();
        e.end = records_[at.previous].time();
        e.records = at.count - from.count;
        e.minutes = at.minutes - from.minutes;
        e.extreme = extreme;
        events_.push_back(e);
    }

    std::span<const HistoryRecord> records_;
    int64_t delay_;
    std::array<PassPoint, 4> open_{};
    std::vector<AlarmEvent> events_;
};

std::array<double, 4> limitBounds(const AlarmLimits& limits) {
    std::array<double, 4> bounds{};
    for (const LimitKind kind : kLimitKinds) {
        const auto& limit = limits[kind];
        const bool high = isHighLimit(kind);
        bounds[slot(kind)] = limit ? (high ? *limit + kLimitTolerance : *limit - kLimitTolerance)
                                   : (high ? kInfinity : -kInfinity);
    }
    return bounds;
}

// The record times of a window in whole seconds, as the list compares them: a record is inside
// when its time rounded to the second lies in [from, to]. The rounding is done on the bounds
// instead (half a second either way), which selects the same records at a fraction of the cost.
class SecondWindow {
public:
    SecondWindow(const DateTime& from, const DateTime& to) {
        valid_ = inCalendar(from) && inCalendar(to);
        if (valid_) {
            low_ = static_cast<double>(from.linearSeconds()) - 0.5;
            high_ = static_cast<double>(to.linearSeconds()) + 0.5;
        }
    }

    bool holds(const HistoryRecord& r) const {
        const double days = r.timeValue >= 0.0 ? r.timeValue : r.time().linear();
        const double seconds = days * kSecondsPerDay;
        // llround takes halves away from zero: x.5 belongs to the later second after 1899 and
        // to the earlier one before.
        return seconds >= 0.0 ? seconds >= low_ && seconds < high_
                              : seconds > low_ && seconds <= high_;
    }

    bool valid() const { return valid_; }

private:
    static bool inCalendar(const DateTime& t) {
        return t.isValid() && std::fabs(t.linear()) < kCalendarDays;
    }

    bool valid_ = false;
    double low_ = 0.0;
    double high_ = 0.0;
};

// The one pass: every figure's state is a local variable, so that the compiler keeps it in
// registers (a member would be stored and read again for every record, since a record's doubles
// might be the same memory as far as it can tell).
template <class Inside>
WindowStatistics statisticsPass(std::span<const HistoryRecord> records, bool fahrenheit,
                                const AlarmLimits& limits, Inside inside) {
    const std::array<double, 4> bound = limitBounds(limits);
    RunBook runs(records, limits);
    KineticTerms kinetic;
    ValueAccumulator<double, double> temperature;
    ValueAccumulator<int, int64_t> humidity;
    PassPoint at;
    std::size_t firstIndex = 0;
    unsigned beyond = 0;
    std::array<double, 4> extreme{};
    for (std::size_t i = 0; i < records.size(); ++i) {
        const HistoryRecord& r = records[i];
        if (!usable(r) || !inside(r)) {
            continue;
        }
        const double t = r.temperature;
        const int h = r.humidity;
        const double hd = h;
        if (at.count == 0) {
            firstIndex = i;
            temperature.start(t, i);
            humidity.start(h, i);
        }
        at.index = i;
        const unsigned is =
            static_cast<unsigned>(t > bound[0]) | static_cast<unsigned>(t < bound[1]) << 1 |
            static_cast<unsigned>(hd > bound[2]) << 2 | static_cast<unsigned>(hd < bound[3]) << 3;
        if (is != beyond) {
            runs.change(beyond, is, at, extreme);
        }
        extreme[0] = std::max(extreme[0], t);
        extreme[1] = std::min(extreme[1], t);
        extreme[2] = std::max(extreme[2], hd);
        extreme[3] = std::min(extreme[3], hd);
        beyond = is;
        temperature.add(t, i);
        humidity.add(h, i);
        kinetic.add(t);
        at.minutes += intervalMinutes(r);
        ++at.count;
        at.previous = i;
    }

    WindowStatistics out;
    out.fahrenheit = fahrenheit;
    out.records = at.count;
    if (at.count > 0) {
        out.first = records[firstIndex].time();
        out.last = records[at.previous].time();
    }
    const bool f = fahrenheit;
    out.temperature = temperature.result(
        records, at.count, [f](double c) { return displayTemperature(c, f); },
        [f](double c) { return displayTemperatureSpan(c, f); });
    out.humidity = humidity.result(
        records, at.count, [](double v) { return v; }, [](double v) { return v; });
    if (const auto mkt = kinetic.celsius(at.count)) {
        out.meanKineticTemperature = displayTemperature(*mkt, f);
    }
    out.events = runs.finish(beyond, at, extreme);
    for (AlarmEvent& e : out.events) {
        if (isTemperatureLimit(e.limit)) {
            e.extreme = displayTemperature(e.extreme, f);
        }
        LimitSummary& summary = out.perLimit[slot(e.limit)];
        if (summary.events++ == 0) {
            summary.firstStart = e.start;
        }
        summary.minutes += e.minutes;
    }
    return out;
}

} // namespace

WindowStatistics computeStatistics(std::span<const HistoryRecord> records, bool fahrenheit,
                                   const AlarmLimits& limits) {
    return statisticsPass(records, fahrenheit, limits, [](const HistoryRecord&) { return true; });
}

WindowStatistics computeStatistics(std::span<const HistoryRecord> records, const DateTime& from,
                                   const DateTime& to, bool fahrenheit, const AlarmLimits& limits) {
    const SecondWindow window(from, to);
    if (!window.valid()) {
        return statisticsPass(std::span<const HistoryRecord>{}, fahrenheit, limits,
                              [](const HistoryRecord&) { return true; });
    }
    return statisticsPass(records, fahrenheit, limits,
                          [&window](const HistoryRecord& r) { return window.holds(r); });
}

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

AlarmTracker::AlarmTracker(const AlarmLimits& limits, bool fahrenheit)
    : limits_(limits), fahrenheit_(fahrenheit) {}

double AlarmTracker::displayValue(LimitKind kind, const HistoryRecord& record) const {
    return isTemperatureLimit(kind) ? displayTemperature(record.temperature, fahrenheit_)
                                    : static_cast<double>(record.humidity);
}

std::vector<AlarmTransition> AlarmTracker::setLimits(const AlarmLimits& limits, bool fahrenheit) {
    std::vector<AlarmTransition> ended;
    fahrenheit_ = fahrenheit;
    const bool delayChanged = limits.delayMinutes != limits_.delayMinutes;
    for (const LimitKind kind : kLimitKinds) {
        if (limits[kind] == limits_[kind] && !delayChanged) {
            continue;
        }
        Run& run = runs_[slot(kind)];
        if (run.reported && newest_) {
            ended.push_back(AlarmTransition{AlarmTransition::State::end, kind,
                                            displayValue(kind, *newest_), newest_->time()});
        }
        run = Run{};
    }
    limits_ = limits;
    return ended;
}

std::vector<AlarmTransition> AlarmTracker::feed(const HistoryRecord& record) {
    std::vector<AlarmTransition> out;
    if (!std::isfinite(record.temperature)) {
        return out;
    }
    newest_ = record;
    for (const LimitKind kind : kLimitKinds) {
        Run& run = runs_[slot(kind)];
        const auto& limit = limits_[kind];
        if (limit && isBeyondLimit(kind, *limit, storedValue(kind, record))) {
            ++run.records;
            run.minutes += intervalMinutes(record);
            if (!run.reported && run.minutes >= std::max(0, limits_.delayMinutes)) {
                run.reported = true;
                run.begin = AlarmTransition{AlarmTransition::State::begin, kind,
                                            displayValue(kind, record), record.time()};
                out.push_back(run.begin);
            }
        } else {
            if (run.reported) {
                out.push_back(AlarmTransition{AlarmTransition::State::end, kind,
                                              displayValue(kind, record), record.time()});
            }
            run = Run{};
        }
    }
    return out;
}

bool AlarmTracker::active(LimitKind kind) const {
    return runs_[slot(kind)].reported;
}

std::vector<AlarmTransition> AlarmTracker::inProgress() const {
    std::vector<AlarmTransition> out;
    for (const Run& run : runs_) {
        if (run.reported) {
            out.push_back(run.begin);
        }
    }
    return out;
}

} // namespace veldrin
