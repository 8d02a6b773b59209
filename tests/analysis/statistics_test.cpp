// Statistics and events of a window against values worked out by hand, at the window's edges,
// with the delay and in Fahrenheit; and the tracker that follows records as they arrive.

#include "analysis/statistics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace veldrin {
namespace {

const DateTime kStart = DateTime::fromFields(2026, 3, 1, 8, 0, 0);

// One record every `interval` minutes from kStart: temperatures in Celsius, humidities in percent.
std::vector<HistoryRecord> series(const std::vector<double>& temperatures,
                                  const std::vector<int>& humidities, int interval = 10) {
    std::vector<HistoryRecord> out;
    for (std::size_t i = 0; i < temperatures.size(); ++i) {
        HistoryRecord r;
        r.temperature = temperatures[i];
        r.humidity = static_cast<int8_t>(humidities.empty() ? 50 : humidities[i]);
        r.interval = interval;
        r.setTime(kStart.plusMinutes(static_cast<int64_t>(i) * interval));
        out.push_back(r);
    }
    return out;
}

DateTime at(std::size_t index, int interval = 10) {
    return kStart.plusMinutes(static_cast<int64_t>(index) * interval);
}

TEST(Statistics, MatchTheValuesWorkedOutByHand) {
    // 20, 25, 30 C: mean 25, population deviation sqrt(50/3) = 4.08248; MKT: the terms
    // exp(-10000/293.15), exp(-10000/298.15), exp(-10000/303.15) average to 3.2237e-15, and
    // 10000 / -ln(3.2237e-15) = 299.00821 K = 25.85821 C = 78.54478 F.
    struct Case {
        bool fahrenheit;
        double min, max, mean, stddev, mkt;
    };
    for (const Case c : {Case{false, 20.0, 30.0, 25.0, 4.0824829, 25.8582084},
                         Case{true, 68.0, 86.0, 77.0, 7.3484692, 78.5447752}}) {
        // The minimum and maximum are met twice: the latest record holding them is named.
        const auto records = series({25.0, 30.0, 20.0, 30.0, 20.0, 25.0}, {40, 60, 50, 60, 40, 50});
        const WindowStatistics s = computeStatistics(records, c.fahrenheit, AlarmLimits{});
        SCOPED_TRACE(c.fahrenheit ? "F" : "C");
        EXPECT_EQ(s.records, 6u);
        EXPECT_EQ(s.first, at(0));
        EXPECT_EQ(s.last, at(5));
        ASSERT_TRUE(s.temperature && s.humidity && s.meanKineticTemperature);
        EXPECT_NEAR(s.temperature->min, c.min, 1e-9);
        EXPECT_EQ(s.temperature->minTime, at(4));
        EXPECT_NEAR(s.temperature->max, c.max, 1e-9);
        EXPECT_EQ(s.temperature->maxTime, at(3));
        EXPECT_NEAR(s.temperature->mean, c.mean, 1e-9);
        EXPECT_NEAR(s.temperature->stddev, c.stddev, 1e-6);
        EXPECT_NEAR(*s.meanKineticTemperature, c.mkt, 1e-6);
        EXPECT_EQ(s.humidity->min, 40.0);
        EXPECT_EQ(s.humidity->minTime, at(4));
        EXPECT_EQ(s.humidity->maxTime, at(3));
        EXPECT_NEAR(s.humidity->mean, 50.0, 1e-12);
        EXPECT_NEAR(s.humidity->stddev, std::sqrt(200.0 / 3.0), 1e-9);
    }
}

TEST(Statistics, LeaveOutWhatIsNoMeasurementAndStayExactOverLongRuns) {
    // A record without a time, one with a temperature that is not a number: left out.
    auto records = series({2.0, 99.0, 4.0, 99.0, 8.0, 12.0}, {});
    records[1].timeStatus = static_cast<uint8_t>(DateTimeStatus::invalid);
    records[3].temperature = std::numeric_limits<double>::quiet_NaN();
    WindowStatistics s = computeStatistics(records, false, AlarmLimits{});
    EXPECT_EQ(s.records, 4u);
    EXPECT_NEAR(*s.meanKineticTemperature, 7.3976160, 1e-6);
    EXPECT_EQ(s.temperature->max, 12.0);

    // Below absolute zero (a damaged file): statistics, but no MKT.
    records[2].temperature = -300.0;
    s = computeStatistics(records, false, AlarmLimits{});
    EXPECT_FALSE(s.meanKineticTemperature);
    EXPECT_TRUE(s.temperature);

    // No records: nothing but the count.
    s = computeStatistics(std::span<const HistoryRecord>{}, false, AlarmLimits{});
    EXPECT_EQ(s.records, 0u);
    EXPECT_FALSE(s.temperature || s.humidity || s.meanKineticTemperature);

    // A million tenths close together: the deviation does not drown in the mean.
    std::vector<HistoryRecord> many(1000000);
    for (std::size_t i = 0; i < many.size(); ++i) {
        many[i].temperature = (i % 2 == 0 ? 1000.1 : 1000.3);
        many[i].timeValue = kStart.value + static_cast<double>(i) / 1440.0;
    }
    s = computeStatistics(many, false, AlarmLimits{});
    EXPECT_NEAR(s.temperature->stddev, 0.1, 1e-9);
    EXPECT_NEAR(s.temperature->mean, 1000.2, 1e-9);
}

TEST(Statistics, TakeExactlyTheRecordsOfTheWindowToTheSecond) {
    const auto records = series({1, 2, 3, 4, 5}, {});
    struct Case {
        DateTime from, to;
        std::size_t count;
    };
    for (const Case c :
         {Case{at(1), at(3), 3}, // both ends inclusive
          Case{at(1).plusSeconds(1), at(3).plusSeconds(-1), 1},
          Case{at(0).plusSeconds(-3600), at(0), 1},
          Case{at(4).plusSeconds(1), at(4).plusSeconds(60), 0}, Case{at(3), at(1), 0}, // reversed
          Case{DateTime::invalidValue(), at(4), 0}}) {
        const WindowStatistics s = computeStatistics(records, c.from, c.to, false, AlarmLimits{});
        EXPECT_EQ(s.records, c.count);
    }
}

TEST(Events, FollowRunsWithTheDelayAndAtTheWindowsEdges) {
    AlarmLimits limits;
    limits.tempHigh = 8.0;
    limits.tempLow = 2.0;
    limits.humHigh = 70.0;
    limits.delayMinutes = 20;
    //                        0    1    2    3    4    5    6    7    8    9   10   11
    const auto records = series({9.0, 9.5, 5.0, 8.5, 5.0, 1.0, 0.5, 1.5, 5.0, 9.0, 9.9, 9.0},
                                {50, 50, 50, 80, 80, 50, 50, 50, 50, 50, 50, 50});
    const WindowStatistics s = computeStatistics(records, false, limits);
    // Two records above 8 at the window's start (20 min, an event); one at 3 (10 min: too short,
    // as the humidity run 3-4 is 20 min and counts); three below 2 (30 min); three above 8 up to
    // the window's end, still open there.
    ASSERT_EQ(s.events.size(), 4u);
    // The time beyond each limit counts every record beyond it, delay or not: 0, 1, 3, 9, 10, 11
    // above 8; 5, 6, 7 below 2; 3, 4 above 70 %.
    EXPECT_EQ(s.perLimit[0].minutesBeyond, 60);
    EXPECT_EQ(s.perLimit[1].minutesBeyond, 30);
    EXPECT_EQ(s.perLimit[2].minutesBeyond, 20);
    EXPECT_EQ(s.perLimit[3].minutesBeyond, 0);
    const AlarmEvent& first = s.events[0];
    EXPECT_EQ(first.limit, LimitKind::tempHigh);
    EXPECT_EQ(first.start, at(0));
    EXPECT_EQ(first.end, at(1));
    EXPECT_EQ(first.records, 2u);
    EXPECT_EQ(first.minutes, 20);
    EXPECT_EQ(first.extreme, 9.5);
    EXPECT_EQ(s.events[1].limit, LimitKind::humHigh);
    EXPECT_EQ(s.events[1].firstIndex, 3u);
    EXPECT_EQ(s.events[1].extreme, 80.0);
    EXPECT_EQ(s.events[2].limit, LimitKind::tempLow);
    EXPECT_EQ(s.events[2].extreme, 0.5);
    EXPECT_EQ(s.events[2].minutes, 30);
    EXPECT_EQ(s.events[3].end, at(11));
    EXPECT_EQ(s.events[3].lastIndex, 11u);
    const LimitSummary& high = s.perLimit[static_cast<std::size_t>(LimitKind::tempHigh)];
    EXPECT_EQ(high.events, 2u);
    EXPECT_EQ(high.minutes, 50);
    EXPECT_EQ(high.firstStart, at(0));
    EXPECT_EQ(s.perLimit[static_cast<std::size_t>(LimitKind::humLow)].events, 0u);

    // A window that cuts the first run after one record: its part inside (10 minutes, short of
    // the delay) marked as begun earlier, an event as the whole run is.
    const WindowStatistics cut = computeStatistics(records, at(1), at(8), false, limits);
    ASSERT_FALSE(cut.events.empty());
    const AlarmEvent& e = cut.events[0];
    EXPECT_EQ(std::tuple(e.firstIndex, e.minutes, e.openStart, e.openEnd),
              std::tuple(1u, 10, true, false));
    // Without a delay every record beyond a limit is an event of its own run.
    limits.delayMinutes = 0;
    EXPECT_EQ(computeStatistics(records, at(1), at(3), false, limits).events.size(), 3u);
}

TEST(Events, CompareInCelsiusAndGiveFahrenheitValues) {
    AlarmLimits limits;
    limits.tempLow = 25.3; // 77.54 F
    limits.tempHigh = 25.3;
    // Stored values are raw x 0.1 - 40: 65.3 - 40 is not exactly 25.3, yet it equals the limit.
    std::vector<HistoryRecord> records = series({0, 0, 0}, {});
    records[0].temperature = 653 * 0.1 - 40.0;
    records[1].temperature = 654 * 0.1 - 40.0;
    records[2].temperature = 652 * 0.1 - 40.0;
    const WindowStatistics s = computeStatistics(records, true, limits);
    ASSERT_EQ(s.events.size(), 2u);
    EXPECT_EQ(s.events[0].limit, LimitKind::tempHigh);
    EXPECT_EQ(s.events[0].firstIndex, 1u);
    EXPECT_NEAR(s.events[0].extreme, 77.72, 1e-9);
    EXPECT_EQ(s.events[1].limit, LimitKind::tempLow);
    EXPECT_NEAR(s.events[1].extreme, 77.36, 1e-9);
    EXPECT_FALSE(isOutOfRange(records[0], limits));
    EXPECT_TRUE(isOutOfRange(records[2], limits));
}

// The statistics of a window worked out the plain way, record by record in list order and in two
// passes where the spread needs the mean, to hold the one-pass statistics to.
bool plainlyHeld(const HistoryRecord& r, const DateTime& from, const DateTime& to) {
    const int64_t second = r.time().linearSeconds();
    return r.time().isValid() && std::isfinite(r.temperature * 1.8 + 32) &&
           second >= from.linearSeconds() && second <= to.linearSeconds();
}

template <class Value>
std::optional<ValueStatistics> plainValues(const std::vector<HistoryRecord>& records,
                                           const std::vector<std::size_t>& taken, Value value) {
    std::size_t lowest = taken.front();
    std::size_t highest = lowest;
    double sum = 0.0;
    for (const std::size_t i : taken) {
        lowest = value(records[i]) <= value(records[lowest]) ? i : lowest;
        highest = value(records[i]) >= value(records[highest]) ? i : highest;
        sum += value(records[i]);
    }
    const double n = static_cast<double>(taken.size());
    double squares = 0.0;
    for (const std::size_t i : taken) {
        squares += (value(records[i]) - sum / n) * (value(records[i]) - sum / n);
    }
    return ValueStatistics{value(records[lowest]),
                           records[lowest].time(),
                           value(records[highest]),
                           records[highest].time(),
                           sum / n,
                           std::sqrt(squares / n)};
}

WindowStatistics plainStatistics(const std::vector<HistoryRecord>& records, const DateTime& from,
                                 const DateTime& to, bool fahrenheit, const AlarmLimits& limits) {
    WindowStatistics out;
    out.fahrenheit = fahrenheit;
    std::vector<std::size_t> taken;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (plainlyHeld(records[i], from, to)) {
            taken.push_back(i);
        }
    }
    out.records = taken.size();
    if (taken.empty()) {
        return out;
    }
    out.first = records[taken.front()].time();
    out.last = records[taken.back()].time();
    out.temperature = plainValues(records, taken, [&](const HistoryRecord& r) {
        return fahrenheit ? r.temperature * 1.8 + 32 : r.temperature;
    });
    out.humidity = plainValues(
        records, taken, [](const HistoryRecord& r) { return static_cast<double>(r.humidity); });
    double kinetic = 0.0;
    bool aboveZero = true;
    for (const std::size_t i : taken) {
        aboveZero = aboveZero && records[i].temperature > -kCelsiusToKelvin;
        kinetic += std::exp(-kMktActivationKelvin / (records[i].temperature + kCelsiusToKelvin));
    }
    if (aboveZero && kinetic > 0.0) {
        const double mkt =
            kMktActivationKelvin / -std::log(kinetic / static_cast<double>(taken.size())) -
            kCelsiusToKelvin;
        out.meanKineticTemperature = fahrenheit ? mkt * 1.8 + 32 : mkt;
    }
    // Runs over the whole history, the records outside the window included; an event is a run
    // with records inside whose whole length reaches the delay, given by its part inside.
    const auto held = [](const HistoryRecord& r) {
        return r.time().isValid() && std::isfinite(r.temperature * 1.8 + 32);
    };
    std::vector<std::pair<std::size_t, bool>> sequence; // index, inside
    for (std::size_t i = 0; i < records.size(); ++i) {
        const bool inside = std::binary_search(taken.begin(), taken.end(), i);
        if (inside || (held(records[i]) && (i < taken.front() || i > taken.back()))) {
            sequence.emplace_back(i, inside);
        }
    }
    for (const LimitKind kind : kLimitKinds) {
        for (const std::size_t i : taken) {
            const HistoryRecord& r = records[i];
            const double value = isTemperatureLimit(kind) ? r.temperature : r.humidity;
            if (limits[kind] && isBeyondLimit(kind, *limits[kind], value)) {
                out.perLimit[static_cast<std::size_t>(kind)].minutesBeyond +=
                    std::max(0, r.interval);
            }
        }
        std::optional<AlarmEvent> run;
        int64_t wholeMinutes = 0;
        const auto close = [&] {
            if (run && run->records > 0 && wholeMinutes >= limits.delayMinutes) {
                if (fahrenheit && isTemperatureLimit(kind)) {
                    run->extreme = run->extreme * 1.8 + 32;
                }
                out.events.push_back(*run);
                LimitSummary& summary = out.perLimit[static_cast<std::size_t>(kind)];
                ++summary.events;
                summary.minutes += run->minutes;
                summary.firstStart = summary.firstStart.value_or(run->start);
            }
            run.reset();
            wholeMinutes = 0;
        };
        for (const auto& [i, inside] : sequence) {
            const HistoryRecord& r = records[i];
            const double value = isTemperatureLimit(kind) ? r.temperature : r.humidity;
            if (!limits[kind] || !isBeyondLimit(kind, *limits[kind], value)) {
                close();
                continue;
            }
            if (!run) {
                run = AlarmEvent{kind, {}, {}, 0, 0, 0, 0, 0.0, false, false};
            }
            wholeMinutes += std::max(0, r.interval);
            if (!inside) {
                (run->records == 0 ? run->openStart : run->openEnd) = true;
                continue;
            }
            if (run->records == 0) {
                run->start = r.time();
                run->firstIndex = i;
                run->extreme = value;
            }
            run->end = r.time();
            run->lastIndex = i;
            ++run->records;
            run->minutes += std::max(0, r.interval);
            run->extreme =
                isHighLimit(kind) ? std::max(run->extreme, value) : std::min(run->extreme, value);
        }
        close();
    }
    std::sort(out.events.begin(), out.events.end(), [](const AlarmEvent& a, const AlarmEvent& b) {
        return std::pair{a.firstIndex, a.limit} < std::pair{b.firstIndex, b.limit};
    });
    return out;
}

// Every field of the statistics, in order; times as their values, what is missing as NaN.
std::vector<double> fields(const WindowStatistics& s) {
    constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> f{double(s.records), s.first.value, s.last.value, double(s.fahrenheit),
                          s.meanKineticTemperature.value_or(kNone)};
    for (const auto& v : {s.temperature, s.humidity}) {
        if (v) {
            f.insert(f.end(),
                     {v->min, v->minTime.value, v->max, v->maxTime.value, v->mean, v->stddev});
        }
    }
    for (const LimitSummary& l : s.perLimit) {
        f.insert(f.end(), {double(l.events), double(l.minutes), double(l.minutesBeyond),
                           l.firstStart ? l.firstStart->value : kNone});
    }
    for (const AlarmEvent& e : s.events) {
        f.insert(f.end(), {double(e.limit), e.start.value, e.end.value, double(e.firstIndex),
                           double(e.lastIndex), double(e.records), double(e.minutes), e.extreme,
                           double(e.openStart), double(e.openEnd)});
    }
    return f;
}

void expectSameStatistics(const WindowStatistics& a, const WindowStatistics& b) {
    const std::vector<double> x = fields(a);
    const std::vector<double> y = fields(b);
    ASSERT_EQ(x.size(), y.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (!std::isnan(x[i]) || !std::isnan(y[i])) {
            EXPECT_NEAR(x[i], y[i], 1e-10 * std::max(1.0, std::fabs(y[i]))) << "field " << i;
        }
    }
}

// Random histories, tenths as a recorder gives them or many distinct values, with damage (no
// time, values that are no measurement, negative intervals, times out of order), in 2026 or
// across 1899-12-30 where the day values count backwards.
std::vector<HistoryRecord> randomHistory(std::mt19937& gen, std::size_t count, bool manyValues,
                                         bool damaged, const DateTime& base) {
    std::vector<HistoryRecord> records(count);
    int raw = 600;
    int h = 50;
    const double notMeasured[] = {std::numeric_limits<double>::quiet_NaN(),
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(), 1e308};
    for (std::size_t i = 0; i < records.size(); ++i) {
        HistoryRecord& r = records[i];
        raw += static_cast<int>(gen() % 5) - 2;
        h = std::clamp(h + static_cast<int>(gen() % 3) - 1, -5, 105);
        r.temperature =
            manyValues ? static_cast<double>(gen() % 3000) * 0.0137 - 20.0 : raw * 0.1 - 40.0;
        r.humidity = static_cast<int8_t>(h);
        r.interval = 1 + static_cast<int>(gen() % 3);
        r.setTime(base.plusMinutes(static_cast<int64_t>(i)));
        if (damaged && gen() % 10 == 0) {
            switch (gen() % 4) {
            case 0:
                r.timeStatus = static_cast<uint8_t>(DateTimeStatus::invalid);
                break;
            case 1:
                r.temperature = notMeasured[gen() % 4];
                break;
            case 2:
                r.interval = -7;
                break;
            default:
                r.setTime(base.plusMinutes(static_cast<int64_t>(gen() % 400)));
            }
        }
    }
    return records;
}

TEST(Statistics, AgreeWithThePlainWayOnDamagedAndRandomHistories) {
    struct Case {
        const char* what;
        bool manyValues; // more distinct temperatures than a recorder gives
        bool damaged;
        DateTime base;
    };
    const DateTime before1900 = DateTime::fromFields(1899, 12, 29, 22, 0, 0);
    std::mt19937 gen(11);
    for (const Case c : {Case{"tenths", false, false, kStart}, Case{"damaged", false, true, kStart},
                         Case{"many values", true, false, kStart},
                         Case{"many values, damaged", true, true, kStart},
                         Case{"across 1899-12-30, damaged", false, true, before1900}}) {
        SCOPED_TRACE(c.what);
        for (int round = 0; round < 40; ++round) {
            SCOPED_TRACE(round);
            const auto records =
                randomHistory(gen, c.manyValues ? 6000 : 300, c.manyValues, c.damaged, c.base);
            AlarmLimits limits;
            const auto maybe = [&](double v) {
                return gen() % 4 == 0 ? std::nullopt : std::optional(v);
            };
            limits.tempHigh = maybe(20.0 + static_cast<double>(gen() % 10) * 0.1);
            limits.tempLow = maybe(20.0 - static_cast<double>(gen() % 30) * 0.1);
            limits.humHigh = maybe(55.0);
            limits.humLow = maybe(45.0);
            limits.delayMinutes = static_cast<int>(gen() % 12);
            const bool fahrenheit = gen() % 2 == 0;
            const DateTime from = c.base.plusMinutes(static_cast<int64_t>(gen() % 100) - 20);
            const DateTime to =
                from.plusMinutes(static_cast<int64_t>(gen() % (records.size() + 100)));
            expectSameStatistics(computeStatistics(records, from, to, fahrenheit, limits),
                                 plainStatistics(records, from, to, fahrenheit, limits));
        }
    }
}

TEST(AlarmTracker, SaysBeginAfterTheDelayAndEndOnce) {
    AlarmLimits limits;
    limits.humLow = 30.0;
    limits.delayMinutes = 20;
    AlarmTracker tracker(limits, true);
    const auto records = series({10, 10, 10, 10, 10, 10}, {50, 20, 20, 25, 40, 20});
    using S = AlarmTransition::State;
    std::vector<std::vector<AlarmTransition>> said;
    for (const HistoryRecord& r : records) {
        said.push_back(tracker.feed(r));
    }
    EXPECT_TRUE(said[0].empty() && said[1].empty());
    ASSERT_EQ(said[2].size(), 1u); // 20 minutes below: the delay has passed
    EXPECT_EQ(said[2][0].state, S::begin);
    EXPECT_EQ(said[2][0].limit, LimitKind::humLow);
    EXPECT_EQ(said[2][0].time, at(2));
    EXPECT_TRUE(said[3].empty());
    ASSERT_EQ(said[4].size(), 1u);
    EXPECT_EQ(said[4][0].state, S::end);
    EXPECT_EQ(said[4][0].value, 40.0);
    EXPECT_TRUE(said[5].empty()); // a new run, not long enough yet
    EXPECT_FALSE(tracker.active(LimitKind::humLow));

    // An event in progress is told of on request, and ends when its limit changes.
    limits.tempHigh = 5.0; // 10 C = 50 F
    limits.delayMinutes = 0;
    EXPECT_TRUE(tracker.setLimits(limits, true).empty());
    EXPECT_EQ(tracker.feed(records[5]).size(), 2u);
    ASSERT_EQ(tracker.inProgress().size(), 2u);
    EXPECT_NEAR(tracker.inProgress()[0].value, 50.0, 1e-9);
    limits.humLow.reset();
    const auto ended = tracker.setLimits(limits, true);
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].state, S::end);
    EXPECT_EQ(ended[0].limit, LimitKind::humLow);
    EXPECT_TRUE(tracker.active(LimitKind::tempHigh));
}

// The tracker, fed the records one by one, tells of the same events as the statistics of the
// whole history: a begin where the run reaches the delay, an end at the next record in range.
TEST(AlarmTracker, TellsOfTheEventsTheStatisticsFind) {
    using Said = std::multiset<std::tuple<LimitKind, double, AlarmTransition::State>>;
    const auto add = [](Said& to, const AlarmTransition& t) {
        to.insert({t.limit, t.time.linear(), t.state});
    };
    std::mt19937 gen(5);
    for (const bool damaged : {false, true}) {
        for (int round = 0; round < 20; ++round) {
            SCOPED_TRACE(std::to_string(round) + (damaged ? " damaged" : ""));
            const auto records = randomHistory(gen, 400, false, damaged, kStart);
            AlarmLimits limits;
            limits.tempHigh = 20.0 + static_cast<double>(gen() % 10) * 0.1;
            limits.tempLow = 19.5;
            limits.humLow = 48.0;
            limits.delayMinutes = static_cast<int>(gen() % 8);
            AlarmTracker tracker(limits, round % 2 == 0);
            Said said;
            for (const HistoryRecord& r : records) {
                for (const AlarmTransition& t : tracker.feed(r)) {
                    add(said, t);
                }
            }
            std::vector<std::size_t> counted; // the records the window rule holds
            for (std::size_t i = 0; i < records.size(); ++i) {
                if (plainlyHeld(records[i], DateTime::fromValue(-1e6), DateTime::fromValue(1e6))) {
                    counted.push_back(i);
                }
            }
            Said expected;
            Said going;
            using S = AlarmTransition::State;
            for (const AlarmEvent& e : computeStatistics(records, false, limits).events) {
                auto at = std::find(counted.begin(), counted.end(), e.firstIndex);
                for (int64_t minutes = std::max(0, records[*at].interval);
                     minutes < limits.delayMinutes;
                     minutes += std::max(0, records[*++at].interval)) {
                }
                const AlarmTransition begin{S::begin, e.limit, 0.0, records[*at].time()};
                add(expected, begin);
                const auto next = std::find(counted.begin(), counted.end(), e.lastIndex) + 1;
                if (next != counted.end()) {
                    add(expected, {S::end, e.limit, 0.0, records[*next].time()});
                } else {
                    add(going, begin);
                }
            }
            Said inProgress;
            for (const AlarmTransition& t : tracker.inProgress()) {
                add(inProgress, t);
            }
            EXPECT_EQ(inProgress, going);
            EXPECT_EQ(said, expected);
        }
    }
}

} // namespace
} // namespace veldrin
