// Saving and loading a data file of a million records, side by side with writing and reading the
// same number of bytes through plain buffered stdio (with the same fsync before close), and the
// resident memory that both data sets of such a history take.
//
// Two reading baselines: streaming the bytes through one 64 KiB buffer (which never leaves the
// cache), and reading them into memory that holds the whole file. A load has to put 32 MB of
// records into memory, so the second is the like-for-like comparison; the first is a floor.
//
// The files go to $VELDRIN_BENCH_DIR, or to a fresh folder under the current directory (not
// /tmp, which may live in memory and make the fsync free).

#include "core/clock.h"
#include "store/data_file.h"
#include "store/data_store.h"
#include "store/registry.h"

#include "bench_folder.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

namespace veldrin {
namespace {

constexpr int kRecords = 1'000'000;
constexpr std::size_t kStdioChunk = 64 * 1024;

std::string benchFolder() {
    static const BenchFolder folder("bench-store");
    return folder.path;
}

RecordList makeHistory() {
    RecordList list;
    list.reserve(kRecords);
    DateTime t = DateTime::fromFields(2020, 1, 1, 0, 0);
    for (int i = 0; i < kRecords; ++i) {
        HistoryRecord r;
        r.temperature = 20.0 + (i % 100) * 0.1;
        r.humidity = static_cast<int8_t>(30 + i % 60);
        r.interval = 1;
        r.setTime(DateTime::fromLinearSeconds(t.linearSeconds() + int64_t{i} * 60));
        r.setDownloadTime(t);
        list.push_back(r);
    }
    return list;
}

RecorderSettings makeSettings() {
    RecorderSettings s;
    s.interval = 1;
    s.description = u"bench recorder";
    return s;
}

const std::string& historyPath() {
    static const std::string path = [] {
        ManualClock clock;
        CVeldrinDoc doc(clock);
        RecordList history = makeHistory();
        doc.settings = makeSettings();
        doc.setTarget(&history);
        const std::string p = dataFilePath(benchFolder(), 0);
        if (!doc.save(p)) {
            std::fprintf(stderr, "%s\n", doc.errorMessage().c_str());
            std::abort();
        }
        return p;
    }();
    return path;
}

std::size_t historyBytes() {
    return static_cast<std::size_t>(std::filesystem::file_size(historyPath()));
}

void BM_SaveDataFile(benchmark::State& state) {
    ManualClock clock;
    CVeldrinDoc doc(clock);
    RecordList history = makeHistory();
    doc.settings = makeSettings();
    doc.setTarget(&history);
    const std::string path = benchFolder() + "/save.dat";
    for (auto _ : state) {
        if (!doc.save(path)) {
            state.SkipWithError(doc.errorMessage().c_str());
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(historyBytes()));
}

void BM_StdioWriteSameBytes(benchmark::State& state) {
    const std::size_t bytes = historyBytes();
    const std::string content(bytes, 'x');
    const std::string path = benchFolder() + "/plain-write.bin";
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        for (std::size_t done = 0; done < bytes; done += kStdioChunk) {
            std::fwrite(content.data() + done, 1, std::min(kStdioChunk, bytes - done), f);
        }
        std::fflush(f);
        ::fsync(::fileno(f));
        std::fclose(f);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}

void BM_LoadDataFile(benchmark::State& state) {
    ManualClock clock;
    CVeldrinDoc doc(clock);
    RecordList list;
    doc.setTarget(&list);
    const std::string& path = historyPath();
    for (auto _ : state) {
        if (!doc.open(path)) {
            state.SkipWithError(doc.errorMessage().c_str());
        }
        benchmark::DoNotOptimize(list.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(historyBytes()));
}

void BM_StdioReadSameBytes(benchmark::State& state) {
    const std::string& path = historyPath();
    auto buffer = std::make_unique<char[]>(kStdioChunk);
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        std::size_t total = 0;
        std::size_t n = 0;
        while ((n = std::fread(buffer.get(), 1, kStdioChunk, f)) > 0) {
            total += n;
            benchmark::DoNotOptimize(buffer.get());
        }
        std::fclose(f);
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(historyBytes()));
}

// The same bytes read into memory that holds them all, as a load must: one buffer of the file's
// size, reused between iterations just as the load reuses the memory freed by the previous one.
void BM_StdioReadWholeFile(benchmark::State& state) {
    const std::string& path = historyPath();
    const std::size_t bytes = historyBytes();
    auto buffer = std::make_unique<char[]>(bytes);
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        std::size_t total = 0;
        std::size_t n = 0;
        while (total < bytes && (n = std::fread(buffer.get() + total, 1,
                                                std::min(kStdioChunk, bytes - total), f)) > 0) {
            total += n;
        }
        std::fclose(f);
        benchmark::DoNotOptimize(buffer.get());
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}

long residentBytes() {
    long pages = 0;
    long resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(f);
    }
    return resident * ::sysconf(_SC_PAGESIZE);
}

// Resident memory of both data sets of a million-record history, per record.
void BM_BothSetsResident(benchmark::State& state) {
    historyPath();
    IniFile ini(benchFolder() + "/main.ini");
    writeMaxId(ini, 1);
    ManualClock clock;
    for (auto _ : state) {
        const long before = residentBytes();
        DataStore store(benchFolder(), ini, clock);
        store.loadAtStartUp();
        const long after = residentBytes();
        state.counters["bytes_per_record"] =
            static_cast<double>(after - before) / static_cast<double>(kRecords);
        state.counters["records_in_both_sets"] =
            static_cast<double>(store.connectedCount() + store.displayedCount());
    }
}

BENCHMARK(BM_SaveDataFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_StdioWriteSameBytes)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_LoadDataFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_StdioReadSameBytes)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_StdioReadWholeFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_BothSetsResident)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
} // namespace veldrin

BENCHMARK_MAIN();
