// The record list of the main view with a million records in its time window, side by side with
// one plain pass over the same records:
// - Refill: what the list costs while the data lock is held (the worker waits on it): one pass
//   that finds the rows and extremes, then the model reset outside the lock.
// - TimePass: a pass that reads every record's time as seconds, the least any fill must do;
//   RawTimePass, reading only the stored value, is the floor.
// - Scroll: a table view on the model scrolled to a new place and painted; the counters give the
//   cells the model made per scroll against the cells visible.

#include "core/clock.h"
#include "store/data_file.h"
#include "store/data_store.h"
#include "store/ini_file.h"
#include "view/record_list_model.h"

#include <QApplication>
#include <QHeaderView>
#include <QTableView>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

namespace veldrin {
namespace {

constexpr int kRecords = 1'000'000;

RecordList makeHistory() {
    RecordList list(kRecords);
    const DateTime first = DateTime::fromFields(2009, 1, 1);
    for (int i = 0; i < kRecords; ++i) {
        HistoryRecord& r = list[static_cast<std::size_t>(i)];
        r.setTime(first.plusMinutes(i));
        r.setDownloadTime(first.plusMinutes(i + 5));
        r.temperature = 20.0 + (i % 97) * 0.1;
        r.humidity = static_cast<int8_t>(30 + i % 41);
        r.interval = 1;
    }
    return list;
}

// A data store whose displayed set holds the history, loaded from a file as the view would.
struct Fixture {
    Fixture() {
        char pattern[] = "bench-view-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        folder = std::filesystem::absolute(made != nullptr ? made : ".").string();
        const RecordList history = makeHistory();
        const std::string path = folder + "/history.vrn";
        std::FILE* f = std::fopen(path.c_str(), "wb");
        const std::string bytes = encodeDataFile(RecorderSettings{}, history, 0);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        ini = std::make_unique<IniFile>(folder + "/main.ini");
        store = std::make_unique<DataStore>(folder, *ini, SystemClock::instance());
        store->loadDisplayedDocument(path);
        start = history.front().time();
        end = history.back().time();
    }
    ~Fixture() {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    std::string folder;
    std::unique_ptr<IniFile> ini;
    std::unique_ptr<DataStore> store;
    DateTime start;
    DateTime end;
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_RawTimePass(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        double sum = 0;
        f.store->withDisplayed([&](const RecorderSettings&, const RecordList& records) {
            for (const HistoryRecord& r : records) {
                sum += r.timeValue;
            }
        });
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_RawTimePass)->Unit(benchmark::kMillisecond);

void BM_TimePass(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        int64_t sum = 0;
        f.store->withDisplayed([&](const RecorderSettings&, const RecordList& records) {
            for (const HistoryRecord& r : records) {
                sum += r.time().linearSeconds();
            }
        });
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_TimePass)->Unit(benchmark::kMillisecond);

void BM_Refill(benchmark::State& state) {
    Fixture& f = fixture();
    RecordListModel model(*f.store);
    for (auto _ : state) {
        model.refill(f.start, f.end);
    }
    state.counters["rows"] = model.rowCount();
}
BENCHMARK(BM_Refill)->Unit(benchmark::kMillisecond);

void BM_Scroll(benchmark::State& state) {
    Fixture& f = fixture();
    RecordListModel model(*f.store);
    model.refill(f.start, f.end);
    QTableView view;
    view.verticalHeader()->hide();
    view.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view.setModel(&model);
    view.resize(900, 525);
    view.show();
    QApplication::processEvents();
    int row = 0;
    long cells = 0;
    long scrolls = 0;
    for (auto _ : state) {
        row = (row + 104729) % model.rowCount();
        const long before = model.cellsMade();
        view.scrollTo(model.index(row, 0), QAbstractItemView::PositionAtTop);
        view.viewport()->repaint();
        cells += model.cellsMade() - before;
        ++scrolls;
    }
    const int visibleRows =
        view.viewport()->height() / std::max(1, view.verticalHeader()->defaultSectionSize()) + 1;
    state.counters["cells_per_scroll"] = static_cast<double>(cells) / std::max(1L, scrolls);
    state.counters["visible_cells"] = visibleRows * model.columnCount();
}
BENCHMARK(BM_Scroll)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace veldrin

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
