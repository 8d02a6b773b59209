// The printed report of a million records, side by side with what any report of them costs at
// least: loading the data file and one draw of the chart.
//   report_ratio = report (its own load included) / (load + chart draw)
// The phases are measured alternately in each iteration, in processor time of this thread, so that
// a busy machine slows all alike.

#include "bench_folder.h"

#include "chart/chart_renderer.h"
#include "core/atomic_file.h"
#include "core/export_file.h"
#include "report/pdf_report.h"

#include <QApplication>

#include "wandering_history.h"

#include <benchmark/benchmark.h>
#include <ctime>
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

void BM_ReportRatio(benchmark::State& state) {
    const BenchFolder folder("bench-report");
    const std::string path = folder.path + "/0.dat";
    {
        RecorderSettings settings;
        settings.description = u"Cold room";
        std::string error;
        const std::string bytes = encodeDataFile(settings, history(), 0);
        if (!writeExportFile(path, bytes, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
    }
    AlarmLimits limits;
    limits.tempHigh = 30.0;
    limits.humLow = 20.0;
    limits.delayMinutes = 10;
    double loading = 0, drawing = 0, reporting = 0;
    std::size_t pdfBytes = 0;
    for (auto _ : state) {
        const double t0 = now();
        DataFileContent content = load(path);
        const double t1 = now();
        chart::ChartInput input;
        input.start = content.records.front().timeValue;
        input.end = content.records.back().timeValue;
        input.size = kSurface;
        input.font = chart::chartFont(96);
        input.limits = limits;
        chart::ChartRenderer renderer;
        benchmark::DoNotOptimize(renderer.render(content.records, input).constBits());
        const double t2 = now();
        ReportContent report;
        report.number = 0;
        DataFileContent file = load(path);
        report.settings = file.settings;
        report.records = std::move(file.records);
        report.from = DateTime::fromValue(report.records.front().timeValue);
        report.to = DateTime::fromValue(report.records.back().timeValue);
        report.limits = limits;
        const QByteArray pdf = renderPdfReport(report);
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
BENCHMARK(BM_ReportRatio)->Unit(benchmark::kMillisecond)->MinTime(3);

} // namespace
} // namespace veldrin

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
