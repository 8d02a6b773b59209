// Statistics and alarm events over a million records, side by side with one plain pass that
// reads every record's time, temperature and humidity:
//   stats_ratio = statistics and events of the window / plain pass        (target <= 3)
// The statistics are one readable loop (sums, extremes, runs) with the kinetic term remembered
// per tenth of a degree; they run only when a user asks for them, so a few milliseconds over a
// million records is what counts, not a ratio close to 1. Both run over the same window (the
// whole history, compared to the second) with four limits in force. Two histories: one as a room
// gives it (a tenth of a degree or a percent now and then, the limits crossed a few hundred
// times), and a stress case that jumps every minute and crosses a limit every few dozen records.
// The phases are measured alternately in each iteration, in processor time of this thread, so
// that a busy machine slows both alike.

#include "analysis/statistics.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <random>

namespace veldrin {
namespace {

constexpr std::size_t kRecords = 1'000'000;

// A wandering history in tenths of a degree (as the recorder gives them), one record a minute,
// moving by up to `step` tenths (and percent) in `1 / every` of the records.
std::vector<HistoryRecord> history(int step, int every) {
    std::mt19937 gen(7);
    std::uniform_int_distribution<int> dt(-step, step);
    std::uniform_int_distribution<int> dh(-1, 1);
    std::uniform_int_distribution<int> moves(1, every);
    std::vector<HistoryRecord> records(kRecords);
    int raw = 650; // 25.0 C
    int h = 50;
    const double start = DateTime::fromFields(2011, 1, 1).value;
    for (std::size_t i = 0; i < kRecords; ++i) {
        if (moves(gen) == 1) {
            raw = std::clamp(raw + dt(gen), 500, 800);
            h = std::clamp(h + dh(gen), 10, 95);
        }
        HistoryRecord& r = records[i];
        r.timeValue = start + static_cast<double>(i) / 1440.0;
        r.temperature = raw * 0.1 - 40.0;
        r.humidity = static_cast<int8_t>(h);
        r.interval = 1;
    }
    return records;
}

// What any figure over the window costs at least, as the chart's benchmark has it: one pass
// reading each record's time, temperature and humidity, keeping those in the window and their
// extremes (in Fahrenheit, as the statistics below are asked for).
double plainPass(const std::vector<HistoryRecord>& records, double from, double to) {
    double tMax = -1e4;
    double tMin = 1e4;
    int hMax = -1000;
    int hMin = 1000;
    for (const HistoryRecord& r : records) {
        if (r.timeValue >= from && r.timeValue <= to) {
            const double t = r.temperature * 1.8 + 32;
            tMax = std::max(tMax, t);
            tMin = std::min(tMin, t);
            hMax = std::max<int>(hMax, r.humidity);
            hMin = std::min<int>(hMin, r.humidity);
        }
    }
    return tMax + tMin + hMax + hMin;
}

double threadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void BM_StatisticsRatio(benchmark::State& state, int step, int every) {
    const std::vector<HistoryRecord> records = history(step, every);
    const DateTime from = records.front().time();
    const DateTime to = records.back().time();
    AlarmLimits limits;
    limits.tempHigh = 27.0;
    limits.tempLow = 23.0;
    limits.humHigh = 60.0;
    limits.humLow = 40.0;
    limits.delayMinutes = 15;
    double plain = 0.0;
    double stats = 0.0;
    std::size_t events = 0;
    for (auto _ : state) {
        const double t0 = threadSeconds();
        benchmark::DoNotOptimize(plainPass(records, from.value, to.value));
        const double t1 = threadSeconds();
        const WindowStatistics s = computeStatistics(records, from, to, true, limits);
        benchmark::DoNotOptimize(s.meanKineticTemperature);
        const double t2 = threadSeconds();
        events = s.events.size();
        plain += t1 - t0;
        stats += t2 - t1;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["plain_pass_ms"] = plain / n * 1e3;
    state.counters["stats_ms"] = stats / n * 1e3;
    state.counters["stats_ratio"] = stats / plain;
    state.counters["events"] = static_cast<double>(events);
}
BENCHMARK_CAPTURE(BM_StatisticsRatio, recorded, 1, 8)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK_CAPTURE(BM_StatisticsRatio, stress, 2, 1)->Unit(benchmark::kMillisecond)->MinTime(3);

} // namespace
} // namespace veldrin

BENCHMARK_MAIN();
