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

// The term exp(-dH/(R T)) of the mean kinetic temperature. Recorded temperatures are tenths of a
// degree between -40 and a few hundred degrees, so the few thousand distinct values are kept in a
// table filled as they are met: the exponential is taken once per distinct value, not once per
// record. A table entry is used only for the very same stored value, so the sum is exactly the
// one taken record by record.
class KineticTerms {
public:
    KineticTerms() { temperatures_.fill(std::numeric_limits<double>::quiet_NaN()); }

    // false for a temperature at or below absolute zero (a damaged file): no MKT then.
    bool add(double celsius) {
        const double key = (celsius + kTableOffset) * kTableSteps;
        if (key >= 0.0 && key < static_cast<double>(kTableSize)) {
            const auto index = static_cast<std::size_t>(key + 0.5) % kTableSize;
            if (temperatures_[index] != celsius) {
                temperatures_[index] = celsius;
                terms_[index] = term(celsius);
            }
            sum_ += terms_[index];
            return true;
        }
        const double kelvin = celsius + kCelsiusToKelvin;
        if (!(kelvin > 0.0)) {
            return false;
        }
        sum_ += term(celsius);
        return true;
    }

    // In Celsius; none when the sum underflowed.
    std::optional<double> celsius(std::size_t count) const {
        if (count == 0 || !(sum_ > 0.0)) {
            return std::nullopt;
        }
        const double kelvin = kMktActivationKelvin / -std::log(sum_ / static_cast<double>(count));
        return kelvin - kCelsiusToKelvin;
    }

private:
    static constexpr double kTableOffset = 40.0;
    static constexpr double kTableSteps = 10.0;
    static constexpr std::size_t kTableSize = 4096;

    static double term(double celsius) {
        return std::exp(-kMktActivationKelvin / (celsius + kCelsiusToKelvin));
    }

    std::array<double, kTableSize> temperatures_{};
    std::array<double, kTableSize> terms_{};
    double sum_ = 0.0;
};

// Minimum, maximum (first occurrence), and sums about the first value, which keep the variance
// exact for values close together however many there are.
class ValueAccumulator {
public:
    void add(double value, std::size_t index) {
        if (count_ == 0) {
            shift_ = value;
            min_ = max_ = value;
            minIndex_ = maxIndex_ = index;
        } else if (value < min_) {
            min_ = value;
            minIndex_ = index;
        } else if (value > max_) {
            max_ = value;
            maxIndex_ = index;
        }
        const double d = value - shift_;
        sum_ += d;
        squares_ += d * d;
        ++count_;
    }

    // In the stored unit; `convert` turns values, `convertSpan` differences into the display unit.
    template <class Convert, class ConvertSpan>
    std::optional<ValueStatistics> result(std::span<const HistoryRecord> records, Convert convert,
                                          ConvertSpan convertSpan) const {
        if (count_ == 0) {
            return std::nullopt;
        }
        const double n = static_cast<double>(count_);
        const double meanOffset = sum_ / n;
        const double variance = std::max(0.0, squares_ / n - meanOffset * meanOffset);
        ValueStatistics out;
        out.min = convert(min_);
        out.minTime = records[minIndex_].time();
        out.max = convert(max_);
        out.maxTime = records[maxIndex_].time();
        out.mean = convert(shift_ + meanOffset);
        out.stddev = convertSpan(std::sqrt(variance));
        return out;
    }

private:
    std::size_t count_ = 0;
    double shift_ = 0.0;
    double min_ = 0.0;
    double max_ = 0.0;
    std::size_t minIndex_ = 0;
    std::size_t maxIndex_ = 0;
    double sum_ = 0.0;
    double squares_ = 0.0;
};

// The runs beyond the four limits; a limit not in force has a bound nothing passes.
class EventFinder {
public:
    explicit EventFinder(const AlarmLimits& limits) : delay_(std::max(0, limits.delayMinutes)) {
        for (const LimitKind kind : kLimitKinds) {
            const auto& limit = limits[kind];
            bound_[slot(kind)] =
                limit ? (isHighLimit(kind) ? *limit + kLimitTolerance : *limit - kLimitTolerance)
                      : (isHighLimit(kind) ? kInfinity : -kInfinity);
        }
    }

    void add(const HistoryRecord& r, std::size_t index) {
        const double t = r.temperature;
        const double h = r.humidity;
        follow(LimitKind::tempHigh, t > bound_[0], t, r, index);
        follow(LimitKind::tempLow, t < bound_[1], t, r, index);
        follow(LimitKind::humHigh, h > bound_[2], h, r, index);
        follow(LimitKind::humLow, h < bound_[3], h, r, index);
    }

    // Closes the runs still open at the window's end.
    std::vector<AlarmEvent> finish() {
        for (const LimitKind kind : kLimitKinds) {
            close(kind);
        }
        std::sort(events_.begin(), events_.end(), [](const AlarmEvent& a, const AlarmEvent& b) {
            return a.firstIndex != b.firstIndex ? a.firstIndex < b.firstIndex
                                                : slot(a.limit) < slot(b.limit);
        });
        return std::move(events_);
    }

private:
    struct Run {
        bool open = false;
        AlarmEvent event;
    };

    void follow(LimitKind kind, bool beyond, double value, const HistoryRecord& r,
                std::size_t index) {
        Run& run = runs_[slot(kind)];
        if (!beyond) {
            if (run.open) {
                close(kind);
            }
            return;
        }
        AlarmEvent& e = run.event;
        if (!run.open) {
            run.open = true;
            e = AlarmEvent{};
            e.limit = kind;
            e.start = r.time();
            e.firstIndex = index;
            e.extreme = value;
        }
        e.end = r.time();
        e.lastIndex = index;
        ++e.records;
        e.minutes += intervalMinutes(r);
        e.extreme = isHighLimit(kind) ? std::max(e.extreme, value) : std::min(e.extreme, value);
    }

    void close(LimitKind kind) {
        Run& run = runs_[slot(kind)];
        if (run.open && run.event.minutes >= delay_) {
            events_.push_back(run.event);
        }
        run.open = false;
    }

    int64_t delay_;
    std::array<double, 4> bound_{};
    std::array<Run, 4> runs_{};
    std::vector<AlarmEvent> events_;
};

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

class StatisticsPass {
public:
    StatisticsPass(std::span<const HistoryRecord> records, bool fahrenheit,
                   const AlarmLimits& limits)
        : records_(records), fahrenheit_(fahrenheit), events_(limits) {}

    void add(std::size_t index) {
        const HistoryRecord& r = records_[index];
        if (count_ == 0) {
            firstIndex_ = index;
        }
        lastIndex_ = index;
        ++count_;
        temperature_.add(r.temperature, index);
        humidity_.add(r.humidity, index);
        mktValid_ = kinetic_.add(r.temperature) && mktValid_;
        events_.add(r, index);
    }

    WindowStatistics finish() {
        WindowStatistics out;
        out.fahrenheit = fahrenheit_;
        out.records = count_;
        if (count_ > 0) {
            out.first = records_[firstIndex_].time();
            out.last = records_[lastIndex_].time();
        }
        const bool f = fahrenheit_;
        out.temperature = temperature_.result(
            records_, [f](double c) { return displayTemperature(c, f); },
            [f](double c) { return displayTemperatureSpan(c, f); });
        out.humidity = humidity_.result(
            records_, [](double h) { return h; }, [](double h) { return h; });
        if (const auto mkt = kinetic_.celsius(count_); mkt && mktValid_) {
            out.meanKineticTemperature = displayTemperature(*mkt, f);
        }
        out.events = events_.finish();
        for (AlarmEvent& e : out.events) {
            if (isTemperatureLimit(e.limit)) {
                e.extreme = displayTemperature(e.extreme, f);
            }
            LimitSummary& s = out.perLimit[slot(e.limit)];
            if (s.events++ == 0) {
                s.firstStart = e.start;
            }
            s.minutes += e.minutes;
        }
        return out;
    }

private:
    std::span<const HistoryRecord> records_;
    bool fahrenheit_;
    std::size_t count_ = 0;
    std::size_t firstIndex_ = 0;
    std::size_t lastIndex_ = 0;
    ValueAccumulator temperature_;
    ValueAccumulator humidity_;
    KineticTerms kinetic_;
    bool mktValid_ = true;
    EventFinder events_;
};

} // namespace

WindowStatistics computeStatistics(std::span<const HistoryRecord> records, bool fahrenheit,
                                   const AlarmLimits& limits) {
    StatisticsPass pass(records, fahrenheit, limits);
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (usable(records[i])) {
            pass.add(i);
        }
    }
    return pass.finish();
}

WindowStatistics computeStatistics(std::span<const HistoryRecord> records, const DateTime& from,
                                   const DateTime& to, bool fahrenheit, const AlarmLimits& limits) {
    StatisticsPass pass(records, fahrenheit, limits);
    const SecondWindow window(from, to);
    if (window.valid()) {
        for (std::size_t i = 0; i < records.size(); ++i) {
            if (usable(records[i]) && window.holds(records[i])) {
                pass.add(i);
            }
        }
    }
    return pass.finish();
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
