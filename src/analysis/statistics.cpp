#include "analysis/statistics.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

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

bool hasValidTime(const HistoryRecord& record) {
    return record.timeStatus == static_cast<uint8_t>(DateTimeStatus::valid);
}

bool usable(const HistoryRecord& record) {
    return hasValidTime(record) && std::isfinite(record.temperature);
}

// The last eight bytes of a record (interval, humidity, time statuses), read at once, and the
// bits of them that make a record one the counting loop leaves to the pass: a time that is not
// valid, a negative interval.
uint64_t recordTail(const HistoryRecord& record) {
    static_assert(std::endian::native == std::endian::little);
    static_assert(offsetof(HistoryRecord, interval) == 24 &&
                  offsetof(HistoryRecord, timeStatus) == 29 && sizeof(HistoryRecord) == 32);
    uint64_t tail = 0;
    std::memcpy(&tail, reinterpret_cast<const unsigned char*>(&record) + 24, sizeof tail);
    return tail;
}
static_assert(static_cast<int>(DateTimeStatus::valid) == 0);
constexpr uint64_t kUncountedTail = uint64_t{0xFF} << 40 | uint64_t{1} << 31;

int64_t intervalMinutes(const HistoryRecord& record) {
    return std::max<int64_t>(0, record.interval);
}

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

// Which limits a record lies beyond, one bit each in the order of LimitKind.
unsigned beyondBits(double t, double h, const std::array<double, 4>& bound) {
    return static_cast<unsigned>(t > bound[0]) | static_cast<unsigned>(t < bound[1]) << 1 |
           static_cast<unsigned>(h > bound[2]) << 2 | static_cast<unsigned>(h < bound[3]) << 3;
}

// exp(-dH/(R T)) of one temperature, the term the mean kinetic temperature averages; none at or
// below absolute zero (a damaged file).
std::optional<double> kineticTerm(double celsius) {
    const double kelvin = celsius + kCelsiusToKelvin;
    if (!(kelvin > 0.0)) {
        return std::nullopt;
    }
    return std::exp(-kMktActivationKelvin / kelvin);
}

struct Extreme {
    double value = 0.0;
    std::size_t index = 0; // first record holding it
};

// A quantity's figures over the window, the standard deviation's sum taken about the mean.
struct Figures {
    std::size_t count = 0;
    double mean = 0.0;
    double squares = 0.0;
    Extreme min;
    Extreme max;
};

// How often each temperature occurs in the window and the first record holding it, in a table
// keyed by the value's bits. A recorder gives few distinct values (tenths of a degree), so the
// pass only counts; the sums, the spread, the extremes and the mean kinetic temperature are
// taken from the table at the end, once per distinct value. The first record holding a value is
// noted when the value is placed, so that counting it again is a single increment. Each slot
// also holds the temperature limits its value lies beyond.
class TemperatureTable {
public:
    explicit TemperatureTable(const std::array<double, 4>& bound) : bound_(bound) {
        beyond_.fill(kEmpty);
    }

    // The slot a value is looked for first: where the common record finds it.
    static std::size_t home(double celsius) { return homeIndex(key(celsius)); }
    bool holds(std::size_t slot, double celsius) const { return keys_[slot] == key(celsius); }
    // The temperature limits the slot's value lies beyond; never a set of limits while the slot
    // is empty.
    unsigned beyond(std::size_t slot) const { return beyond_[slot]; }

    // The slot of a value, placed with `record` as its first when it is new; none when the table
    // is as full as it may get.
    std::optional<std::size_t> find(double celsius, const HistoryRecord& record) {
        const uint64_t k = key(celsius);
        for (std::size_t i = homeIndex(k);; i = (i + 1) % kSize) {
            if (beyond_[i] == kEmpty) {
                if (used_ == kMaxValues) {
                    return std::nullopt;
                }
                ++used_;
                keys_[i] = k;
                firsts_[i] = &record;
                beyond_[i] = beyondBits(celsius, 0.0, bound_) & kTemperatureBits;
                return i;
            }
            if (keys_[i] == k) {
                return i;
            }
        }
    }

    void count(std::size_t slot) { ++counts_[slot]; }

    // `records`: those the pass went through.
    Figures figures(std::span<const HistoryRecord> records) const {
        Figures f;
        double sum = 0.0;
        forEachValue([&](double value, std::size_t count, const HistoryRecord* record) {
            const auto first = static_cast<std::size_t>(record - records.data());
            if (f.count == 0 || value < f.min.value ||
                (value == f.min.value && first < f.min.index)) {
                f.min = {value, first};
            }
            if (f.count == 0 || value > f.max.value ||
                (value == f.max.value && first < f.max.index)) {
                f.max = {value, first};
            }
            f.count += count;
            sum += static_cast<double>(count) * value;
        });
        f.mean = f.count == 0 ? 0.0 : sum / static_cast<double>(f.count);
        forEachValue([&](double value, std::size_t count, const HistoryRecord*) {
            const double d = value - f.mean;
            f.squares += static_cast<double>(count) * d * d;
        });
        return f;
    }

    // Sum of the kinetic terms; false when a temperature lies at or below absolute zero.
    bool addKineticTerms(double& sum) const {
        bool valid = true;
        forEachValue([&](double value, std::size_t count, const HistoryRecord*) {
            if (const auto term = kineticTerm(value)) {
                sum += static_cast<double>(count) * *term;
            } else {
                valid = false;
            }
        });
        return valid;
    }

private:
    static constexpr std::size_t kSize = 4096;
    static constexpr std::size_t kMaxValues = kSize / 2;
    static constexpr unsigned kEmpty = 0x100;
    static constexpr unsigned kTemperatureBits = 3;
    // 2^32 / golden ratio, sign-extended so that the multiplication takes it as an immediate.
    static constexpr uint64_t kMultiplier = 0xFFFF'FFFF'9E37'79B9;

    static uint64_t key(double celsius) { return std::bit_cast<uint64_t>(celsius); }
    static std::size_t homeIndex(uint64_t key) {
        return static_cast<std::size_t>((key * kMultiplier) >> (64 - std::bit_width(kSize - 1)));
    }

    template <class F> void forEachValue(F f) const {
        for (std::size_t i = 0; i < kSize; ++i) {
            if (beyond_[i] != kEmpty && counts_[i] != 0) {
                f(std::bit_cast<double>(keys_[i]), counts_[i], firsts_[i]);
            }
        }
    }

    // Parallel arrays rather than slots, so that the counting loop reaches each by the slot's
    // number alone.
    std::array<double, 4> bound_;
    std::array<uint64_t, kSize> keys_{};
    std::array<std::size_t, kSize> counts_{};
    std::array<const HistoryRecord*, kSize> firsts_{};
    std::array<unsigned, kSize> beyond_{};
    std::size_t used_ = 0;
};

// How often each humidity occurs in the window and the first record holding it, and the
// humidity limits each value lies beyond. A value not seen yet is marked as beyond no set of
// limits, so that the counting loop leaves its first record to the pass.
class HumidityCounts {
public:
    explicit HumidityCounts(const std::array<double, 4>& bound) {
        for (int h = std::numeric_limits<int8_t>::min(); h <= std::numeric_limits<int8_t>::max();
             ++h) {
            beyond_[index(h)] = (beyondBits(0.0, h, bound) & kHumidityBits) | kUnseen;
        }
    }

    static std::size_t index(int humidity) { return static_cast<uint8_t>(humidity); }
    unsigned beyond(std::size_t index) const { return beyond_[index]; }
    // Counts a value seen before.
    void count(std::size_t index) { ++counts_[index]; }
    void count(std::size_t index, const HistoryRecord& record) {
        if ((beyond_[index] & kUnseen) != 0) {
            beyond_[index] &= ~kUnseen;
            firsts_[index] = &record;
        }
        ++counts_[index];
    }

    // `records`: those the pass went through.
    Figures figures(std::span<const HistoryRecord> records) const {
        Figures f;
        int64_t sum = 0;
        for (int h = std::numeric_limits<int8_t>::min(); h <= std::numeric_limits<int8_t>::max();
             ++h) {
            const std::size_t count = counts_[index(h)];
            if (count == 0) {
                continue;
            }
            const auto first = static_cast<std::size_t>(firsts_[index(h)] - records.data());
            if (f.count == 0) {
                f.min = {static_cast<double>(h), first};
            }
            f.max = {static_cast<double>(h), first};
            f.count += count;
            sum += static_cast<int64_t>(count) * h;
        }
        f.mean = f.count == 0 ? 0.0 : static_cast<double>(sum) / static_cast<double>(f.count);
        for (int h = std::numeric_limits<int8_t>::min(); h <= std::numeric_limits<int8_t>::max();
             ++h) {
            const double d = h - f.mean;
            f.squares += static_cast<double>(counts_[index(h)]) * d * d;
        }
        return f;
    }

private:
    static constexpr unsigned kHumidityBits = 12;
    static constexpr unsigned kUnseen = 0x100;
    std::array<std::size_t, 256> counts_{};
    std::array<const HistoryRecord*, 256> firsts_{};
    std::array<unsigned, 256> beyond_{};
};

// Temperatures beyond what the table of distinct values holds (only a damaged file has that
// many), summed as they come: about the first of them, which keeps the spread exact for values
// close together however many there are.
class OtherTemperatures {
public:
    void add(double celsius, std::size_t index) {
        if (count_ == 0) {
            shift_ = celsius;
            min_ = max_ = {celsius, index};
        }
        // Taken earliest first: of equal values the first one taken is the first record.
        if (celsius < min_.value) {
            min_ = {celsius, index};
        }
        if (celsius > max_.value) {
            max_ = {celsius, index};
        }
        const double d = celsius - shift_;
        sum_ += d;
        squares_ += d * d;
        ++count_;
        if (const auto term = kineticTerm(celsius)) {
            kinetic_ += *term;
        } else {
            kineticValid_ = false;
        }
    }

    // Joined with the figures of the values in the table.
    Figures joined(const Figures& table) const {
        if (count_ == 0) {
            return table;
        }
        Figures f = table;
        f.count = table.count + count_;
        const double n = static_cast<double>(f.count);
        const double k = static_cast<double>(count_);
        f.mean = (table.mean * static_cast<double>(table.count) + shift_ * k + sum_) / n;
        const double fromTable = table.mean - f.mean;
        const double delta = f.mean - shift_;
        f.squares = table.squares + static_cast<double>(table.count) * fromTable * fromTable +
                    squares_ - 2.0 * delta * sum_ + k * delta * delta;
        // Equal values (0 and -0) are told apart by their first record.
        if (table.count == 0 || min_.value < table.min.value ||
            (min_.value == table.min.value && min_.index < table.min.index)) {
            f.min = min_;
        }
        if (table.count == 0 || max_.value > table.max.value ||
            (max_.value == table.max.value && max_.index < table.max.index)) {
            f.max = max_;
        }
        return f;
    }

    bool addKineticTerms(double& sum) const {
        sum += kinetic_;
        return kineticValid_;
    }

private:
    std::size_t count_ = 0;
    double shift_ = 0.0;
    double sum_ = 0.0;
    double squares_ = 0.0;
    Extreme min_;
    Extreme max_;
    double kinetic_ = 0.0;
    bool kineticValid_ = true;
};

// `convert` turns values, `convertSpan` differences into the display unit.
template <class Convert, class ConvertSpan>
std::optional<ValueStatistics> valueStatistics(const Figures& f,
                                               std::span<const HistoryRecord> records,
                                               Convert convert, ConvertSpan convertSpan) {
    if (f.count == 0) {
        return std::nullopt;
    }
    ValueStatistics out;
    out.min = convert(f.min.value);
    out.minTime = records[f.min.index].time();
    out.max = convert(f.max.value);
    out.maxTime = records[f.max.index].time();
    out.mean = convert(f.mean);
    out.stddev = convertSpan(std::sqrt(std::max(0.0, f.squares / static_cast<double>(f.count))));
    return out;
}

// Mean kinetic temperature in Celsius from the average of the terms; none without records or
// when the average underflowed.
std::optional<double> meanKineticCelsius(double sum, std::size_t count) {
    if (count == 0 || !(sum > 0.0)) {
        return std::nullopt;
    }
    return kMktActivationKelvin / -std::log(sum / static_cast<double>(count)) - kCelsiusToKelvin;
}

// The extremes of the runs beyond each limit so far: the highest temperature of a run above the
// upper temperature limit, and so on. A run that starts restarts its extreme.
struct RunExtremes {
    static constexpr int kNoMax = std::numeric_limits<int>::min();
    static constexpr int kNoMin = std::numeric_limits<int>::max();

    double temperatureMax = -kInfinity;
    double temperatureMin = kInfinity;
    int humidityMax = kNoMax;
    int humidityMin = kNoMin;

    // Only the extremes of the limits in `Beyond` (bits as beyondBits() gives them): any other
    // restarts when its run starts.
    template <unsigned Beyond = 15u> void widen(double t, int h) {
        if constexpr ((Beyond & 1u) != 0) {
            temperatureMax = std::max(t, temperatureMax);
        }
        if constexpr ((Beyond & 2u) != 0) {
            temperatureMin = std::min(t, temperatureMin);
        }
        if constexpr ((Beyond & 4u) != 0) {
            humidityMax = std::max(humidityMax, h);
        }
        if constexpr ((Beyond & 8u) != 0) {
            humidityMin = std::min(humidityMin, h);
        }
    }

    // Takes over the extremes of the limits in `Beyond` from `other`.
    template <unsigned Beyond> void take(const RunExtremes& other) {
        if constexpr ((Beyond & 1u) != 0) {
            temperatureMax = other.temperatureMax;
        }
        if constexpr ((Beyond & 2u) != 0) {
            temperatureMin = other.temperatureMin;
        }
        if constexpr ((Beyond & 4u) != 0) {
            humidityMax = other.humidityMax;
        }
        if constexpr ((Beyond & 8u) != 0) {
            humidityMin = other.humidityMin;
        }
    }

    double of(LimitKind kind) const {
        switch (kind) {
        case LimitKind::tempHigh:
            return temperatureMax;
        case LimitKind::tempLow:
            return temperatureMin;
        case LimitKind::humHigh:
            return humidityMax;
        case LimitKind::humLow:
            return humidityMin;
        }
        return 0.0;
    }

    void restart(LimitKind kind) {
        switch (kind) {
        case LimitKind::tempHigh:
            temperatureMax = -kInfinity;
            break;
        case LimitKind::tempLow:
            temperatureMin = kInfinity;
            break;
        case LimitKind::humHigh:
            humidityMax = kNoMax;
            break;
        case LimitKind::humLow:
            humidityMin = kNoMin;
            break;
        }
    }
};

// Where the pass stands when the limits a record lies beyond differ from the previous record's.
struct PassPoint {
    std::size_t index = 0;    // this record
    std::size_t previous = 0; // the window's record taken before it
    std::size_t count = 0;    // records of the window taken before this one
    int64_t minutes = 0;      // their minutes
};

// The runs beyond the four limits. The pass gives each record only four bits (the limits it lies
// beyond) and keeps the running extremes; the bookkeeping here is done when the bits change.
class RunBook {
public:
    RunBook(std::span<const HistoryRecord> records, const AlarmLimits& limits)
        : records_(records), delay_(std::max(0, limits.delayMinutes)) {}

    void change(unsigned was, unsigned is, const PassPoint& at, RunExtremes& extremes) {
        // Mostly one limit changes: only those are looked at.
        for (unsigned changed = (was ^ is) & 15u; changed != 0; changed &= changed - 1) {
            const auto kind = static_cast<LimitKind>(std::countr_zero(changed));
            if ((is & (1u << slot(kind))) == 0) {
                close(kind, at, extremes.of(kind));
            } else {
                open_[slot(kind)] = at;
                extremes.restart(kind);
            }
        }
    }

    std::vector<AlarmEvent> finish(unsigned open, const PassPoint& end, RunExtremes extremes) {
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
        e.start = records_[e.firstIndex].time();
        e.end = records_[e.lastIndex].time();
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

// The record times of a window in whole seconds, as the list compares them: a record is inside
// when its time rounded to the second lies in [from, to]. The rounding is done on the bounds
// instead (half a second either way), and for times after 1899 the bounds are turned into days,
// which selects the same records at a fraction of the cost.
class SecondWindow {
public:
    SecondWindow(const DateTime& from, const DateTime& to) {
        valid_ = inCalendar(from) && inCalendar(to);
        if (valid_) {
            low_ = static_cast<double>(from.linearSeconds()) - 0.5;
            high_ = static_cast<double>(to.linearSeconds()) + 0.5;
            lowDays_ = firstDayReaching(low_);
            highDays_ = firstDayReaching(high_);
        }
    }

    // llround takes halves away from zero: x.5 belongs to the later second after 1899 and to
    // the earlier one before.
    bool holds(const HistoryRecord& r) const {
        // lowDays_ is at least 0, so that the common record passes two comparisons.
        if (r.timeValue >= lowDays_) [[likely]] {
            return r.timeValue < highDays_;
        }
        if (r.timeValue >= 0.0) {
            return false;
        }
        const double seconds = linearDays(r.timeValue) * kSecondsPerDay;
        return seconds >= 0.0 ? seconds >= low_ && seconds < high_
                              : seconds > low_ && seconds <= high_;
    }

    bool valid() const { return valid_; }

private:
    // The least time of at least 0 days whose seconds, as `days x 86400` gives them, reach
    // `seconds`: the product grows with the days, so comparing the days to this is comparing
    // the seconds.
    static double firstDayReaching(double seconds) {
        if (!(seconds > 0.0)) {
            return 0.0;
        }
        double days = seconds / kSecondsPerDay;
        while (days * kSecondsPerDay < seconds) {
            days = std::nextafter(days, kInfinity);
        }
        for (double below = std::nextafter(days, 0.0); below * kSecondsPerDay >= seconds;
             below = std::nextafter(days, 0.0)) {
            days = below;
        }
        return days;
    }

    // DateTime::linear() of a time before 1899, computed here so that the pass makes no call.
    // Times beyond the calendar lie outside any window and are left as they are.
    static double linearDays(double value) {
        if (!(value > -kCalendarDays)) {
            return value;
        }
        const double whole = static_cast<double>(static_cast<int64_t>(value));
        return whole + std::fabs(value - whole);
    }

    static bool inCalendar(const DateTime& t) {
        return t.isValid() && std::fabs(t.linear()) < kCalendarDays;
    }

    bool valid_ = false;
    double low_ = 0.0;
    double high_ = 0.0;
    double lowDays_ = 0.0;
    double highDays_ = 0.0;
};

// What the pass keeps of every record besides the tables.
struct RunningTally {
    std::size_t count = 0;
    int64_t minutes = 0;
    std::size_t last = 0; // the last record counted
    RunExtremes extremes;

    PassPoint at(std::size_t index) const { return PassPoint{index, last, count, minutes}; }
};

// Counts the records from `begin` on while each is one the window holds with a valid time, an
// interval that is not negative and values that lie beyond the limits `Beyond` and have been
// seen before; returns the record where it stopped (the records' size when it took them all).
// Anything else is rare and left to the pass, so that a common record is judged by few
// predictable branches. The figures are worked on in local variables whose addresses never leave
// the pass, and the loop makes no call (a call clobbers every floating point register), so that
// the compiler keeps them in registers. Made for each set of limits, so that it widens only the
// extremes of the runs going on.
template <unsigned Beyond, class Inside>
[[gnu::always_inline]] inline std::size_t
countWhileSame(std::span<const HistoryRecord> records, std::size_t begin, const Inside& window,
               TemperatureTable& temperatures, HumidityCounts& humidities, RunningTally& tally) {
    const Inside inside = window;
    int64_t minutes = tally.minutes;
    RunExtremes extremes = tally.extremes;
    const HistoryRecord* next = records.data() + begin;
    const HistoryRecord* const end = records.data() + records.size();
    for (; next != end; ++next) {
        const HistoryRecord& r = *next;
        const uint64_t tail = recordTail(r);
        if ((tail & kUncountedTail) != 0 || !inside(r)) {
            break;
        }
        const std::size_t t = TemperatureTable::home(r.temperature);
        const std::size_t h = HumidityCounts::index(r.humidity);
        if (!temperatures.holds(t, r.temperature) ||
            (temperatures.beyond(t) | humidities.beyond(h)) != Beyond) {
            break;
        }
        temperatures.count(t);
        humidities.count(h);
        extremes.widen<Beyond>(r.temperature, r.humidity);
        minutes += static_cast<uint32_t>(tail);
    }
    // Every record the loop went through was counted.
    const auto stop = static_cast<std::size_t>(next - records.data());
    if (stop != begin) {
        tally.last = stop - 1;
    }
    tally.count += stop - begin;
    tally.minutes = minutes;
    tally.extremes.take<Beyond>(extremes);
    return stop;
}

// countWhileSame() made for the limits `beyond`, chosen within the pass: a change of the limits
// crossed then costs no call.
template <class Inside>
[[gnu::always_inline]] inline std::size_t
countWhileSameAs(unsigned beyond, std::span<const HistoryRecord> records, std::size_t begin,
                 const Inside& inside, TemperatureTable& temperatures, HumidityCounts& humidities,
                 RunningTally& tally) {
    return [&]<unsigned... B>(std::integer_sequence<unsigned, B...>) {
        std::size_t stop = begin;
        static_cast<void>(
            ((beyond == B &&
              (stop = countWhileSame<B>(records, begin, inside, temperatures, humidities, tally),
               true)) ||
             ...));
        return stop;
    }
    (std::make_integer_sequence<unsigned, 16>{});
}

// The one pass, from the earliest record to the latest. The common records are counted by
// countWhileSame(); the rare ones (a change of the limits crossed, a value new to the tables or
// a temperature not a number, no valid time, a negative interval, a record outside the window)
// are taken here.
template <class Inside>
WindowStatistics statisticsPass(std::span<const HistoryRecord> records, bool fahrenheit,
                                const AlarmLimits& limits, Inside inside) {
    const std::array<double, 4> bound = limitBounds(limits);
    RunBook runs(records, limits);
    const auto temperatures = std::make_unique<TemperatureTable>(bound);
    HumidityCounts humidities(bound);
    OtherTemperatures others;
    RunningTally tally;
    const auto counted = [&](std::size_t i) { return usable(records[i]) && inside(records[i]); };
    const auto skipOutside = [&](std::size_t begin) {
        while (begin < records.size() && !counted(begin)) {
            ++begin;
        }
        return begin;
    };
    std::size_t begin = skipOutside(0);
    const std::size_t earliest = begin;
    unsigned beyond = 0;
    for (;;) {
        begin = countWhileSameAs(beyond, records, begin, inside, *temperatures, humidities, tally);
        if (begin == records.size()) {
            break;
        }
        const std::size_t i = begin;
        const HistoryRecord& r = records[i];
        if (!counted(i)) {
            begin = skipOutside(i + 1);
            continue;
        }
        const double t = r.temperature;
        if (const unsigned is = beyondBits(t, r.humidity, bound); is != beyond) {
            // The record is taken again by the loop once its change is booked.
            // A copy, so that the pass's own figures stay in registers.
            RunExtremes extremes = tally.extremes;
            runs.change(beyond, is, tally.at(i), extremes);
            tally.extremes = extremes;
            beyond = is;
            continue;
        }
        if (const auto slot = temperatures->find(t, r)) {
            temperatures->count(*slot);
        } else {
            others.add(t, i);
        }
        humidities.count(HumidityCounts::index(r.humidity), r);
        tally.extremes.widen(t, r.humidity);
        tally.minutes += intervalMinutes(r);
        ++tally.count;
        tally.last = i;
        ++begin;
    }

    WindowStatistics out;
    out.fahrenheit = fahrenheit;
    out.records = tally.count;
    if (tally.count > 0) {
        out.first = records[earliest].time();
        out.last = records[tally.last].time();
    }
    const bool f = fahrenheit;
    out.temperature = valueStatistics(
        others.joined(temperatures->figures(records)), records,
        [f](double c) { return displayTemperature(c, f); },
        [f](double c) { return displayTemperatureSpan(c, f); });
    out.humidity = valueStatistics(
        humidities.figures(records), records, [](double v) { return v; },
        [](double v) { return v; });
    double kinetic = 0.0;
    const bool kineticValid = temperatures->addKineticTerms(kinetic);
    if (others.addKineticTerms(kinetic) && kineticValid) {
        if (const auto mkt = meanKineticCelsius(kinetic, tally.count)) {
            out.meanKineticTemperature = displayTemperature(*mkt, f);
        }
    }
    out.events = runs.finish(beyond, tally.at(records.size()), tally.extremes);
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
                          [window](const HistoryRecord& r) { return window.holds(r); });
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
