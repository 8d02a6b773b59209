#include "analysis/statistics.h"

#include "core/latest_extreme.h"
#include "core/record_window.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <utility>

namespace veldrin {
namespace {

// Sums of one quantity taken about the first record's value, which keeps the spread exact for
// values close together however far they lie from zero (humidities, whole percents, are summed
// exactly in integers).
template <class T> struct Spread {
    T shift{};
    T sum{};
    T squares{};

    void add(T value) {
        const T d = value - shift;
        sum += d;
        squares += d * d;
    }
    double mean(std::size_t count) const {
        return static_cast<double>(shift) + static_cast<double>(sum) / static_cast<double>(count);
    }
    double stddev(std::size_t count) const {
        const double n = static_cast<double>(count);
        const double m = static_cast<double>(sum) / n;
        return std::sqrt(std::max(0.0, static_cast<double>(squares) / n - m * m));
    }
};

// exp(-dH/(R T)) of one temperature, the term the mean kinetic temperature averages. A recorder
// gives few distinct values (tenths of a degree), so the term is kept per tenth and exp() is
// called once per value met rather than once per record. A slot holds the last value of its
// tenth that was met, so a value that is no tenth (a damaged file) is still given its own term.
class KineticTerms {
public:
    KineticTerms() { values_.fill(std::numeric_limits<double>::quiet_NaN()); }

    // `celsius` must lie above absolute zero.
    double operator()(double celsius) {
        if (!(std::fabs(celsius) < kTenthsReach)) {
            return term(celsius);
        }
        // The tenth, counted from far below so that the conversion truncates as floor() would.
        const auto tenth = static_cast<int64_t>(celsius * 10.0 + (kTenthsReach * 10.0 + 0.5));
        const auto slot = static_cast<std::size_t>(tenth) % kSlots;
        if (values_[slot] != celsius) {
            values_[slot] = celsius;
            terms_[slot] = term(celsius);
        }
        return terms_[slot];
    }

private:
    static constexpr double kTenthsReach = 1e6;
    static constexpr std::size_t kSlots = 4096; // 409.6 degrees without two tenths in one slot

    static double term(double celsius) {
        return std::exp(-kMktActivationKelvin / (celsius + kCelsiusToKelvin));
    }

    std::array<double, kSlots> values_;
    std::array<double, kSlots> terms_{};
};

// The figures of one quantity over `count` records; `convert` turns values, `span` differences
// into the display unit.
template <class S, class T, class Convert, class Span>
ValueStatistics valueStatistics(std::span<const HistoryRecord> records, std::size_t count,
                                const Spread<S>& spread, const Lowest<T>& lowest,
                                const Highest<T>& highest, Convert convert, Span span) {
    return ValueStatistics{convert(lowest.value),       records[lowest.record].time(),
                           convert(highest.value),      records[highest.record].time(),
                           convert(spread.mean(count)), span(spread.stddev(count))};
}

AlarmEvent eventOf(LimitKind kind, const AlarmRun& run, bool fahrenheit) {
    const double extreme =
        isTemperatureLimit(kind) ? displayTemperature(run.extreme, fahrenheit) : run.extreme;
    return AlarmEvent{kind,        run.start,   run.end, run.firstIndex, run.lastIndex,
                      run.records, run.minutes, extreme, run.openStart,  run.openEnd};
}

// The one pass: sums, extremes and runs of the records the window holds, in list order.
WindowStatistics statisticsOf(std::span<const HistoryRecord> records, const RecordWindow& window,
                              bool fahrenheit, const AlarmLimits& limits) {
    WindowStatistics out;
    out.fahrenheit = fahrenheit;
    std::size_t first = 0;
    while (first < records.size() && !window.holds(records[first])) {
        ++first;
    }
    if (first == records.size()) {
        return out;
    }
    Spread<double> temperatures{records[first].temperature};
    Spread<int64_t> humidities{records[first].humidity};
    Lowest<double> coldest;
    Highest<double> warmest;
    Lowest<int> driest;
    Highest<int> wettest;
    KineticTerms kineticTerm;
    double kinetic = 0.0;
    bool kineticValid = true; // no temperature at or below absolute zero (a damaged file)
    // Records outside the window exist only for a window that is not the whole history.
    AlarmRuns runs(limits, runsOutside(records, first, false, limits));
    const auto takeEvents = [&](unsigned ended) {
        for (; ended != 0; ended &= ended - 1) {
            const auto kind = static_cast<LimitKind>(std::countr_zero(ended));
            if (const AlarmRun& run = runs.run(kind); runs.isEvent(run)) {
                out.events.push_back(eventOf(kind, run, fahrenheit));
            }
        }
    };
    std::size_t count = 0;
    std::size_t last = first;
    for (std::size_t i = first; i < records.size(); ++i) {
        const HistoryRecord& r = records[i];
        if (!window.holds(r)) {
            continue;
        }
        ++count;
        last = i;
        const double t = r.temperature;
        temperatures.add(t);
        humidities.add(r.humidity);
        coldest.offer(t, i);
        warmest.offer(t, i);
        driest.offer(r.humidity, i);
        wettest.offer(r.humidity, i);
        if (t + kCelsiusToKelvin > 0.0) {
            kinetic += kineticTerm(t);
        } else {
            kineticValid = false;
        }
        const AlarmRuns::Step step = runs.feed(r, i);
        // The time beyond each limit, however short the run.
        for (unsigned beyond = step.beyond; beyond != 0; beyond &= beyond - 1) {
            out.perLimit[static_cast<std::size_t>(std::countr_zero(beyond))].minutesBeyond +=
                std::max(0, r.interval);
        }
        if (step.ended != 0) {
            takeEvents(step.ended);
        }
    }
    takeEvents(runs.finish(runsOutside(records, last, true, limits)));

    out.records = count;
    out.first = records[first].time();
    out.last = records[last].time();
    const bool f = fahrenheit;
    out.temperature = valueStatistics(
        records, count, temperatures, coldest, warmest,
        [f](double c) { return displayTemperature(c, f); },
        [f](double c) { return displayTemperatureSpan(c, f); });
    out.humidity = valueStatistics(
        records, count, humidities, driest, wettest, [](double h) { return h; },
        [](double h) { return h; });
    // None when the average underflowed.
    if (kineticValid && kinetic > 0.0) {
        const double celsius =
            kMktActivationKelvin / -std::log(kinetic / static_cast<double>(count)) -
            kCelsiusToKelvin;
        out.meanKineticTemperature = displayTemperature(celsius, f);
    }
    // Runs end in the order of their last records; the events are given in that of their first.
    std::stable_sort(out.events.begin(), out.events.end(),
                     [](const AlarmEvent& a, const AlarmEvent& b) {
                         return std::pair(a.firstIndex, a.limit) < std::pair(b.firstIndex, b.limit);
                     });
    for (const AlarmEvent& e : out.events) {
        LimitSummary& summary = out.perLimit[static_cast<std::size_t>(e.limit)];
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
    return statisticsOf(records, RecordWindow::wholeHistory(), fahrenheit, limits);
}

WindowStatistics computeStatistics(std::span<const HistoryRecord> records, const DateTime& from,
                                   const DateTime& to, bool fahrenheit, const AlarmLimits& limits) {
    return statisticsOf(records, RecordWindow(from, to), fahrenheit, limits);
}

} // namespace veldrin
