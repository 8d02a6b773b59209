// Several recorders with a million records each, side by side with one:
//   start_ratio   = window start (view made, first update, chart drawn) with 8 recorders
//                   registered / the same with 1; each start shows the latest recorder only.
//   overlay_ratio = the comparison chart of 8 histories / the time chart of one.
//   load_8_ms     = reading the 8 data files off the window thread until the last is handed back
//                   (wall time: the window thread only waits).
//   hover_ratio   = the comparison's readout of 8 histories laid out and painted at a mouse move
//                   / the time chart's readout of one at the same move (both over every column).
// The phases alternate in each iteration and are measured in processor time of the whole process
// (the loads run on a thread of their own), so that a busy machine slows all alike.

#include "bench_folder.h"

#include "chart/chart_area.h"
#include "chart/comparison_chart.h"
#include "core/export_file.h"
#include "view/comparison_loader.h"
#include "view/veldrin_view.h"

#include <QApplication>
#include <QEventLoop>
#include <QPainter>

#include "wandering_history.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <functional>

namespace veldrin {
namespace {

constexpr std::size_t kRecords = 1'000'000;
constexpr int kMany = 8;
const QSize kSurface(900, 525);

double cpuNow() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

class NoRecorder final : public HidBackend {
public:
    bool listInterfaces(std::vector<std::string>& paths) override {
        paths.clear();
        return true;
    }
    std::unique_ptr<HidDevice> open(const std::string&) override { return nullptr; }
};

class QuietFrame final : public CFrameServices {
public:
    void setStatusText(const QString&) override {}
    void setStatusPaneWidth(int) override {}
    void setRecorderAttached(bool) override {}
    void applyLanguageToFrame() override {}
    void showDocumentName(const QString&) override {}
};

class QuietPrompts final : public CUserPrompts {
public:
    void message(QWidget*, const QString&, PromptIcon, const QString&) override {}
    bool ask(QWidget*, const QString&, const QString&) override { return false; }
    QString chooseFile(QWidget*, const FileDialogRequest&, QString*) override { return {}; }
};

// A data folder with `count` registered recorders, each with the same million records (hard
// links of one file, so that the disk holds it once).
std::string dataFolder(const std::string& root, int count, const std::string& history) {
    const std::string folder = root + "/" + std::to_string(count);
    std::filesystem::create_directories(folder);
    std::string ini = "[Drive ID]\nMaxID=" + std::to_string(count) + "\n";
    for (int n = 0; n < count; ++n) {
        char key[16];
        std::snprintf(key, sizeof key, "ID%07d", n);
        ini += std::string(key) + "=" + std::to_string(n + 6) + ",2,3\n";
        std::filesystem::create_hard_link(history, folder + "/" + std::to_string(n) + ".dat");
    }
    std::string error;
    writeExportFile(folder + "/main.ini", ini, error);
    return folder;
}

// One start of the window on `folder`, up to its chart drawn.
void startWindow(const std::string& folder) {
    QuietFrame frame;
    QuietPrompts prompts;
    ViewStartup startup;
    startup.dataFolder = folder;
    startup.backend = std::make_shared<NoRecorder>();
    startup.prompts = &prompts;
    startup.runTimer = false;
    CVeldrinView view(startup, frame);
    view.resize(900, 660);
    view.initialUpdate();
    view.show();
    QCoreApplication::processEvents();
    benchmark::DoNotOptimize(view.chartArea().currentImage().width());
}

struct Fixture {
    Fixture() : root("bench-compare") {
        history = std::make_shared<const RecordList>(wanderingHistory(kRecords));
        const std::string file = root.path + "/history.dat";
        std::string error;
        writeExportFile(file, encodeDataFile(RecorderSettings{}, *history, 0), error);
        one = dataFolder(root.path, 1, file);
        many = dataFolder(root.path, kMany, file);
    }
    BenchFolder root;
    std::shared_ptr<const RecordList> history;
    std::string one;
    std::string many;
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

// The time chart and the comparison over the whole history, on the same surface.
struct WholeHistoryInputs {
    chart::ChartInput single;
    chart::ComparisonInput overlay;
};
WholeHistoryInputs wholeHistoryInputs(const Fixture& f) {
    WholeHistoryInputs in;
    in.single.start = f.history->front().timeValue;
    in.single.end = f.history->back().timeValue;
    in.single.size = kSurface;
    in.single.font = chart::chartFont(96);
    in.overlay.start = in.single.start;
    in.overlay.end = in.single.end;
    in.overlay.size = kSurface;
    in.overlay.font = in.single.font;
    return in;
}

// Runs `one` and `many` in turn in every iteration, on the processor's clock, and gives each's mean
// per `perIteration` units (in `unitScale`: 1e3 for ms, 1e6 for µs) and their ratio.
struct SideBySide {
    const char* oneName;
    const char* manyName;
    const char* ratioName;
    double unitScale = 1e3;
    double perIteration = 1;
};
void sideBySide(benchmark::State& state, const SideBySide& names, const std::function<void()>& one,
                const std::function<void()>& many) {
    double oneTime = 0, manyTime = 0;
    for (auto _ : state) {
        const double t0 = cpuNow();
        one();
        const double t1 = cpuNow();
        many();
        const double t2 = cpuNow();
        oneTime += t1 - t0;
        manyTime += t2 - t1;
    }
    const double n = static_cast<double>(state.iterations()) * names.perIteration;
    state.counters[names.oneName] = oneTime / n * names.unitScale;
    state.counters[names.manyName] = manyTime / n * names.unitScale;
    state.counters[names.ratioName] = manyTime / oneTime;
}

void BM_StartRatio(benchmark::State& state) {
    Fixture& f = fixture();
    sideBySide(
        state, {"start_1_ms", "start_8_ms", "start_ratio"}, [&f] { startWindow(f.one); },
        [&f] { startWindow(f.many); });
}
BENCHMARK(BM_StartRatio)->Unit(benchmark::kMillisecond)->MinTime(3);

void BM_OverlayRatio(benchmark::State& state) {
    Fixture& f = fixture();
    const auto [single, overlay] = wholeHistoryInputs(f);
    // The time order is made with the file's reading, off the window thread, as the loader does.
    const auto order = std::make_shared<const TimeOrder>(*f.history);
    std::vector<chart::ComparedCurve> curves;
    for (int n = 0; n < kMany; ++n) {
        curves.push_back(
            {u"Recorder " + std::u16string(1, static_cast<char16_t>(u'0' + n)), f.history, order});
    }
    sideBySide(
        state, {"chart_1_ms", "overlay_8_ms", "overlay_ratio"},
        [&] {
            chart::ChartRenderer renderer;
            benchmark::DoNotOptimize(renderer.render(*f.history, single).width());
        },
        [&] {
            chart::ComparisonChart comparison;
            benchmark::DoNotOptimize(comparison.render(curves, overlay).width());
        });
}
BENCHMARK(BM_OverlayRatio)->Unit(benchmark::kMillisecond)->MinTime(3);

// The mouse moved along the plot, one column at a time, on its middle row.
void BM_HoverRatio(benchmark::State& state) {
    Fixture& f = fixture();
    auto [single, overlay] = wholeHistoryInputs(f);
    const auto order = std::make_shared<const TimeOrder>(*f.history);
    std::vector<chart::ComparedCurve> curves(kMany, {u"Recorder", f.history, order});
    chart::ChartRenderer renderer;
    renderer.render(*f.history, single);
    chart::ComparisonChart comparison;
    QImage shown = comparison.render(curves, overlay);
    const chart::PlotRect plot = chart::plotRect(kSurface.width(), kSurface.height());
    const int y = (plot.y0 + plot.y1) / 2;
    sideBySide(
        state, {"hover_1_us", "hover_8_us", "hover_ratio", 1e6, double(plot.x1 - plot.x0 + 1)},
        [&] {
            for (int x = plot.x0; x <= plot.x1; ++x) {
                single.hover = QPoint(x, y);
                benchmark::DoNotOptimize(renderer.render(*f.history, single).width());
            }
        },
        [&] {
            for (int x = plot.x0; x <= plot.x1; ++x) {
                const chart::ComparisonReadout readout = comparison.readoutAt(QPoint(x, y));
                QPainter painter(&shown);
                chart::drawComparisonReadout(painter, readout);
            }
        });
}
BENCHMARK(BM_HoverRatio)->Unit(benchmark::kMillisecond)->MinTime(3);

void BM_Load8(benchmark::State& state) {
    Fixture& f = fixture();
    double wall = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        ComparisonLoader loader(f.many);
        QEventLoop loop;
        int delivered = 0;
        QObject::connect(&loader, &ComparisonLoader::loaded, &loop, [&](const LoadedRecorder&) {
            if (++delivered == kMany) {
                loop.quit();
            }
        });
        for (int n = 0; n < kMany; ++n) {
            loader.load(n);
        }
        loop.exec();
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    state.counters["load_8_ms"] = wall / static_cast<double>(state.iterations()) * 1e3;
}
BENCHMARK(BM_Load8)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();

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
