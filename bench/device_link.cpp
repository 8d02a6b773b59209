// Host cost of one full-memory download over the in-process software recorder, which answers at
// once: every 32-byte unit of the record area read twice with LoggerLink::ReadMemory, as the
// download does (2,040 units, 4,080 reads, 20,400 frames). What is left is the host's own cost per
// frame, to be set against the millisecond or so a frame takes on the USB bus.

#include "device/logger_link.h"
#include "sim/sim_backend.h"
#include "sim/software_recorder.h"

#include <benchmark/benchmark.h>

#include <cstring>

namespace {

using namespace veldrin;

constexpr int kUnits = (kMemorySize - kRecordAreaStart) / kMemoryUnit; // 2,040
constexpr int kFramesPerRead = 5;                                      // 1 command + 4 data
constexpr int kFramesPerDownload = kUnits * 2 * kFramesPerRead;        // 20,400

void BM_FullMemoryDownloadOverSim(benchmark::State& state) {
    sim::RecorderConfig config;
    config.preloadRecords = kRecordCapacity;
    auto recorder = std::make_shared<sim::SoftwareRecorder>(config);
    auto backend = sim::makeSimBackend(recorder);
    LoggerLink link(*backend);
    uint8_t first[32];
    uint8_t second[32];
    int64_t mismatches = 0;
    for (auto _ : state) {
        for (int unit = 0; unit < kUnits; ++unit) {
            const auto address = static_cast<uint16_t>(kRecordAreaStart + unit * kMemoryUnit);
            if (link.ReadMemory(address, first) == 0 || link.ReadMemory(address, second) == 0) {
                state.SkipWithError("read failed");
                return;
            }
            mismatches += std::memcmp(first, second, sizeof first) != 0 ? 1 : 0;
        }
        benchmark::DoNotOptimize(mismatches);
    }
    state.counters["frames"] = kFramesPerDownload;
    // Time per frame: the inverse of the frame rate (shown with its unit, e.g. "70ns").
    state.counters["time_per_frame"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kFramesPerDownload,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FullMemoryDownloadOverSim)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
