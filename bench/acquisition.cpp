// A complete first download of a full recorder (16,320 records, 20,400 frames) over the software
// recorder with no device latency: host time per frame, and the append-and-save into an empty
// history and into a history of 1,000,000 records, beside a plain save of that history.

#include "acquisition/history_download.h"
#include "acquisition/logger_messages.h"
#include "acquisition/store_target.h"
#include "core/atomic_file.h"
#include "core/clock.h"
#include "device/logger_link.h"
#include "sim/sim_backend.h"
#include "sim/software_recorder.h"
#include "store/data_file.h"
#include "store/data_store.h"
#include "store/ini_file.h"
#include "store/registry.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>

namespace veldrin {
namespace {

constexpr int kFramesPerFullDownload = 20400;

class NullSink final : public ReportSink {
public:
    void postLoggerStatus(int32_t, int) override {}
};

// Times the hand-over (filter result to store: stamping, appending, saving) apart from reading.
class TimedTarget final : public DownloadTarget {
public:
    explicit TimedTarget(StoreTarget& inner) : inner_(inner) {}
    void progress(int count) override { inner_.progress(count); }
    void handOver(const DownloadedBatch& batch) override {
        const auto t0 = std::chrono::steady_clock::now();
        inner_.handOver(batch);
        appendSeconds +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    double appendSeconds = 0;

private:
    StoreTarget& inner_;
};

struct Fixture {
    explicit Fixture(std::size_t history) {
        char pattern[] = "/tmp/vb-XXXXXX";
        folder = ::mkdtemp(pattern);
        sim::RecorderConfig config;
        config.circularMode = 0x02;
        config.interval = 1;
        config.preloadRecords = 2 * kRecordCapacity; // wrapped: the whole area holds records
        recorder = std::make_shared<sim::SoftwareRecorder>(config, clock);
        backend = sim::makeSimBackend(recorder);
        link = std::make_unique<LoggerLink>(*backend);
        ini = std::make_unique<IniFile>(folder + "/main.ini");
        writeMaxId(*ini, 1);
        if (history > 0) {
            writeHistory(history);
        }
        store = std::make_unique<DataStore>(folder, *ini, clock);
        store->loadAtStartUp();
        store->setCurrentRecorder(0);
        link->ReadHeader(header);
        store->refreshFromHeader(header, 0);
    }
    ~Fixture() { std::filesystem::remove_all(folder); }

    void writeHistory(std::size_t count) {
        RecordList records(count);
        DateTime t = DateTime::fromFields(2000, 1, 1);
        for (std::size_t i = 0; i < count; ++i) {
            records[i].temperature = 20.0 + static_cast<double>(i % 50) * 0.1;
            records[i].humidity = 50;
            records[i].interval = 1;
            records[i].setTime(t.plusMinutes(static_cast<int64_t>(i)));
            records[i].setDownloadTime(t);
        }
        RecorderSettings settings;
        std::string error;
        writeFileAtomically(dataFilePath(folder, 0), encodeDataFile(settings, records, 0), error);
    }

    ManualClock clock;
    std::string folder;
    std::shared_ptr<sim::SoftwareRecorder> recorder;
    std::unique_ptr<HidBackend> backend;
    std::unique_ptr<LoggerLink> link;
    std::unique_ptr<IniFile> ini;
    std::unique_ptr<DataStore> store;
    HeaderImage header{};
    NullSink sink;
};

void firstDownload(benchmark::State& state, std::size_t history) {
    Fixture f(history);
    double appendSeconds = 0;
    double totalSeconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        f.store->loadBothSets(0); // back to the prepared history
        f.store->refreshFromHeader(f.header, 0);
        state.ResumeTiming();
        StoreTarget store(*f.store, f.sink);
        TimedTarget timed(store);
        const auto t0 = std::chrono::steady_clock::now();
        DownloadHistory(*f.link, f.store->connectedSettings(), 0, f.clock.nowLocal(), timed);
        totalSeconds +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        appendSeconds += timed.appendSeconds;
        state.PauseTiming();
        state.counters["records_after"] = static_cast<double>(f.store->connectedCount());
        state.counters["frames"] = static_cast<double>(f.recorder->framesReceived());
        f.recorder->setFaults(sim::FaultPlan{});
        // Undo the append so that every pass appends to the same history.
        std::string error;
        if (history > 0) {
            f.writeHistory(history);
        } else {
            f.store->clearRecorder(0);
        }
        state.ResumeTiming();
    }
    const double passes = static_cast<double>(state.iterations());
    state.counters["host_ns_per_frame"] =
        (totalSeconds - appendSeconds) / passes / kFramesPerFullDownload * 1e9;
    state.counters["append_and_save_ms"] = appendSeconds / passes * 1e3;
}

void BM_FirstDownloadIntoEmptyHistory(benchmark::State& state) {
    firstDownload(state, 0);
}
void BM_FirstDownloadIntoMillionRecordHistory(benchmark::State& state) {
    firstDownload(state, 1000000);
}

// The baseline of the append-and-save: a plain save of the history that results from it.
void BM_PlainSaveOfMillionPlusFullRecorder(benchmark::State& state) {
    Fixture f(1000000 + kRecordCapacity);
    RecordList records;
    CVeldrinDoc doc(f.clock);
    doc.setTarget(&records);
    doc.open(dataFilePath(f.folder, 0));
    double seconds = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        doc.save(dataFilePath(f.folder, 0));
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    state.counters["save_ms"] = seconds / static_cast<double>(state.iterations()) * 1e3;
}

BENCHMARK(BM_FirstDownloadIntoEmptyHistory)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_FirstDownloadIntoMillionRecordHistory)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PlainSaveOfMillionPlusFullRecorder)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
} // namespace veldrin

BENCHMARK_MAIN();
