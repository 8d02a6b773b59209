// The chart with a million records in its window, side by side with the repaint of an empty chart
// of the same size and with one plain pass over the records:
//   hover_ratio  = repaint after a cursor move / repaint of the empty chart
//   change_ratio = first repaint after the data changed / (empty chart + plain pass)
//   zoom_ratio   = first repaint after a zoom step of the window / (empty chart + plain pass)
// The phases are measured alternately in each iteration, in processor time of this thread, so that
// a busy machine slows all alike.

#include "chart/chart_navigation.h"
#include "chart/chart_renderer.h"

#include <QApplication>

#include "wandering_history.h"

#include <benchmark/benchmark.h>
#include <ctime>
#include <random>

namespace veldrin::chart {
namespace {

constexpr int kRecords = 1'000'000;
const QSize kSurface(900, 525);

RecordList history() {
    return wanderingHistory(static_cast<std::size_t>(kRecords));
}

ChartInput inputFor(const RecordList& records) {
    ChartInput input;
    input.start = records.front().timeValue;
    input.end = records.back().timeValue;
    input.size = kSurface;
    input.font = chartFont(96);
    input.texts = ChartTexts{u"Latest",   u"Humidity:", u"Temperature:", u"Time:",
                             u"Humidity", u"Highest",   u"Lowest",       u"Temperature"};
    return input;
}

// What every chart of the data costs at least: one pass reading each record's time, temperature
// and humidity, keeping those in the window and their extremes.
double plainPass(const RecordList& records, const ChartInput& input) {
    double tMax = -1e4, tMin = 1e4;
    int hMax = -1000, hMin = 1000;
    for (const HistoryRecord& r : records) {
        if (r.timeValue >= input.start && r.timeValue <= input.end) {
            const double t = input.fahrenheit ? r.temperature * 1.8 + 32 : r.temperature;
            tMax = std::max(tMax, t);
            tMin = std::min(tMin, t);
            hMax = std::max<int>(hMax, r.humidity);
            hMin = std::min<int>(hMin, r.humidity);
        }
    }
    return tMax + tMin + hMax + hMin;
}

// Cursor positions on the temperature curve, so that most moves show a readout.
std::vector<QPoint> cursorPath(const RecordList& records, const ChartInput& input) {
    const PlotData d = buildPlotData(records, input);
    std::vector<QPoint> path;
    for (std::size_t j = 0; j < d.runs.size(); j += 7) {
        path.push_back({d.runs[j].x, d.runs[j].t.first});
        path.push_back({d.runs[j].x + 20, 100});
    }
    return path;
}

// The processor time of this thread: the machine is shared, and time spent waiting for a core
// would otherwise land on whichever phase happened to be running.
struct Clock {
    using time_point = double;
    static double now() {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
    }
};
double seconds(double a, double b) {
    return b - a;
}

// The window one notch of the wheel over the middle of the plot shows: zoomed in (factor 2) or
// back out (factor 1/2).
void zoomStep(ChartInput& input, double factor) {
    const SecondWindow window = secondWindow(input.start, input.end);
    const int64_t middle = window.start + window.span() / 2;
    if (const auto zoomed = zoomedWindow(window, middle, factor)) {
        input.start = windowStart(*zoomed).value;
        input.end = windowEnd(*zoomed).value;
    }
}

void BM_ChartRatios(benchmark::State& state) {
    const RecordList records = history();
    const RecordList none;
    ChartInput input = inputFor(records);
    ChartInput emptyInput = input;
    const std::vector<QPoint> path = cursorPath(records, input);
    ChartRenderer renderer;
    ChartRenderer emptyRenderer;
    renderer.render(records, input);
    double empty = 0, hover = 0, change = 0, plain = 0, zoom = 0;
    std::size_t step = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        ++emptyInput.dataGeneration;
        benchmark::DoNotOptimize(emptyRenderer.render(none, emptyInput).constBits());
        auto t1 = Clock::now();
        input.hover = path[step++ % path.size()];
        benchmark::DoNotOptimize(renderer.render(records, input).constBits());
        auto t2 = Clock::now();
        benchmark::DoNotOptimize(plainPass(records, input));
        auto t3 = Clock::now();
        // A real change: the unit flips, so scales and points all move.
        input.fahrenheit = !input.fahrenheit;
        benchmark::DoNotOptimize(renderer.render(records, input).constBits());
        auto t4 = Clock::now();
        // A zoom step in and one back out, so that the next cursor moves see the whole window.
        zoomStep(input, 2.0);
        benchmark::DoNotOptimize(renderer.render(records, input).constBits());
        zoomStep(input, 0.5);
        benchmark::DoNotOptimize(renderer.render(records, input).constBits());
        auto t5 = Clock::now();
        empty += seconds(t0, t1);
        hover += seconds(t1, t2);
        plain += seconds(t2, t3);
        change += seconds(t3, t4);
        zoom += seconds(t4, t5) / 2;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["empty_ms"] = empty / n * 1e3;
    state.counters["hover_ms"] = hover / n * 1e3;
    state.counters["plain_pass_ms"] = plain / n * 1e3;
    state.counters["change_ms"] = change / n * 1e3;
    state.counters["hover_ratio"] = hover / empty;
    state.counters["change_ratio"] = change / (empty + plain);
    state.counters["zoom_ms"] = zoom / n * 1e3;
    state.counters["zoom_ratio"] = zoom / (empty + plain);
}
BENCHMARK(BM_ChartRatios)->Unit(benchmark::kMillisecond)->MinTime(3);

// The cursor moving without the data changing, alone.
void BM_HoverRepaint(benchmark::State& state) {
    const RecordList records = history();
    ChartInput input = inputFor(records);
    const std::vector<QPoint> path = cursorPath(records, input);
    ChartRenderer renderer;
    renderer.render(records, input);
    std::size_t step = 0;
    for (auto _ : state) {
        input.hover = path[step++ % path.size()];
        benchmark::DoNotOptimize(renderer.render(records, input).constBits());
    }
}
BENCHMARK(BM_HoverRepaint)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace veldrin::chart
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
