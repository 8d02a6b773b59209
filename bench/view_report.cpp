// The printed report of a million records, side by side with what any report of them costs at
// least: loading the data file and one draw of the chart.
//   report_ratio = report / (load + chart)
// for the report made as Export > Report makes it, from the records the window holds (`window`),
// and as `veldrin --report` makes it, loading the file itself (`own_load`).
// The phases are measured alternately in each iteration, in processor time of this thread, so that
// a busy machine slows all alike. Every buffer of a megabyte or more is mapped afresh, as it is
// when a program loads a file or makes a report once: left to itself, the allocator would hand
// the pages of one iteration to the next, so that a phase's cost would depend on what ran before
// it.

#include "bench_folder.h"

#include "chart/chart_renderer.h"
#include "chart/display_snapshot.h"
#include "core/atomic_file.h"
#include "core/clock.h"
#include "core/export_file.h"
#include "report/pdf_report.h"
#include "report/report_content.h"
#include "store/data_store.h"
#include "store/ini_file.h"

#include <QApplication>

#include "wandering_history.h"

#include <benchmark/benchmark.h>
#include <ctime>
#include <malloc.h>
#include <random>

namespace veldrin {
namespace {

constexpr int kRecords = 1'000'000;
const QSize kSurface(900, 525);

RecordList history() {
    return wanderingHistory(static_cast<std::size_t>(kRecords));
}

DataFileContent load(const std::string& path) {
    std::string bytes;
    std::string error;
    DataFileContent content;
    if (!readWholeFile(path, bytes, error) || !decodeDataFile(bytes, content, error)) {
        std::abort();
    }
    return content;
}

double now() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The recorder's data file, and the window that has loaded it and shows the whole history.
struct Shown {
    explicit Shown(const std::string& folder)
        : path(folder + "/0.dat"), ini(folder + "/main.ini"),
          store(folder, ini, SystemClock::instance()) {
        RecorderSettings settings;
        settings.description = u"Cold room";
        const std::string bytes = encodeDataFile(settings, history(), 0);
        if (!writeExportFile(path, bytes, error)) {
            return;
        }
        if (store.loadDisplayedDocument(path) != 1) {
            error = path + ": not loaded";
            return;
        }
        snapshot.recorder = 0;
        snapshot.limits.tempHigh = 30.0;
        snapshot.limits.humLow = 20.0;
        snapshot.limits.delayMinutes = 10;
        snapshot.store = &store;
        store.withDisplayed([this](const RecorderSettings& s, const RecordList& records) {
            snapshot.settings = s;
            snapshot.from = DateTime::fromValue(records.front().timeValue);
            snapshot.to = DateTime::fromValue(records.back().timeValue);
        });
        registry = ini.snapshot();
    }

    std::string path;
    std::string error;
    IniFile ini;
    DataStore store;
    DisplaySnapshot snapshot;
    IniSnapshot registry;
};

void drawChart(const RecordList& records, const AlarmLimits& limits) {
    chart::ChartInput input;
    input.start = records.front().timeValue;
    input.end = records.back().timeValue;
    input.size = kSurface;
    input.font = chart::chartFont(96);
    input.limits = limits;
    chart::ChartRenderer renderer;
    benchmark::DoNotOptimize(renderer.render(records, input).constBits());
}

// Export > Report: the figures worked out under the store's lock from the records it holds.
QByteArray windowReport(const Shown& shown) {
    return renderShownReport(shown.snapshot, SystemClock::instance().nowLocal(), shown.registry);
}

// `veldrin --report`: the file loaded by the report itself.
QByteArray ownLoadReport(const Shown& shown) {
    DataFileContent file = load(shown.path);
    ReportSource source;
    source.number = 0;
    source.settings = file.settings;
    source.records = std::move(file.records);
    source.from = shown.snapshot.from;
    source.to = shown.snapshot.to;
    source.limits = shown.snapshot.limits;
    source.madeAt = SystemClock::instance().nowLocal();
    return renderPdfReport(assembleReport(std::move(source), shown.registry));
}

void BM_ReportRatio(benchmark::State& state, QByteArray (*report)(const Shown&)) {
    const BenchFolder folder("bench-report");
    const Shown shown(folder.path);
    if (!shown.error.empty()) {
        state.SkipWithError(shown.error.c_str());
        return;
    }
    double loading = 0, drawing = 0, reporting = 0;
    std::size_t pdfBytes = 0;
    for (auto _ : state) {
        const double t0 = now();
        DataFileContent content = load(shown.path);
        const double t1 = now();
        drawChart(content.records, shown.snapshot.limits);
        const double t2 = now();
        const QByteArray pdf = report(shown);
        const double t3 = now();
        pdfBytes = static_cast<std::size_t>(pdf.size());
        loading += t1 - t0;
        drawing += t2 - t1;
        reporting += t3 - t2;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["load_ms"] = loading / n * 1e3;
    state.counters["chart_ms"] = drawing / n * 1e3;
    state.counters["report_ms"] = reporting / n * 1e3;
    state.counters["pdf_kib"] = static_cast<double>(pdfBytes) / 1024;
    state.counters["report_ratio"] = reporting / (loading + drawing);
}
BENCHMARK_CAPTURE(BM_ReportRatio, window, windowReport)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK_CAPTURE(BM_ReportRatio, own_load, ownLoadReport)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3);

} // namespace
} // namespace veldrin

int main(int argc, char** argv) {
    constexpr int kFreshlyMapped = 1 << 20;
    mallopt(M_MMAP_THRESHOLD, kFreshlyMapped);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
