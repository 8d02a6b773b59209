// Several recorders served at once by the fleet, each figure beside the same figure for one
// recorder measured in the same run:
// - four full recorders (16,320 records each) answering every frame after 1 ms, downloaded and
//   saved from their first connection: wall time against one (target ratio <= 1.3);
// - sixteen recorders attached and downloaded, then 15-second cycles on simulated time: host CPU
//   (every thread of the process) per recorder per cycle against one (target <= 2), and the
//   resident memory each recorder adds beside the bytes of the records its chain holds (the
//   connected and the displayed set of its store).

#include "acquisition/recorder_fleet.h"
#include "bench_folder.h"
#include "core/clock.h"
#include "sim/sim_backend.h"
#include "sim/software_recorder.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace veldrin {
namespace {

using namespace std::chrono_literals;

constexpr int kCycleTicks = 15;

// Every recorder full and wrapped: the whole record area holds records.
sim::RecorderConfig fullRecorder(int64_t answerDelayMs) {
    sim::RecorderConfig config;
    config.circularMode = 0x02;
    config.interval = 1;
    config.preloadRecords = 2 * kRecordCapacity;
    config.answerDelayMs = answerDelayMs;
    return config;
}

struct FleetRig {
    FleetRig(int count, Clock& clock, int64_t answerDelayMs) : folder("bench-fleet") {
        for (int i = 0; i < count; ++i) {
            recorders.push_back(
                std::make_shared<sim::SoftwareRecorder>(fullRecorder(answerDelayMs), clock));
        }
        backend = sim::makeSimBackend(recorders);
        fleet = std::make_unique<RecorderFleet>(*backend, folder.path, clock);
    }
    ~FleetRig() { fleet.reset(); }

    // Reports handed over until every worker is idle.
    void settle() {
        while (fleet->waitAndPump(fleet->busy() ? 20ms : 0ms) > 0 || fleet->busy()) {
        }
    }
    // The records downloaded, and with `displayed` those the displayed sets hold as well.
    std::size_t recordsHeld(bool displayed) {
        std::size_t total = 0;
        for (const FleetRecorder& r : fleet->recorders()) {
            const DataStore* store = fleet->storeOf(r.number);
            total += store->connectedCount() + (displayed ? store->displayedCount() : 0);
        }
        return total;
    }

    BenchFolder folder;
    std::vector<std::shared_ptr<sim::SoftwareRecorder>> recorders;
    std::unique_ptr<HidBackend> backend;
    std::unique_ptr<RecorderFleet> fleet;
};

double seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Wall time of the first connection of `count` full recorders: identification, download, save.
double firstConnection(int count, std::size_t& records) {
    FleetRig rig(count, SystemClock::instance(), 1);
    const auto t0 = std::chrono::steady_clock::now();
    rig.fleet->tick();
    rig.settle();
    const double wall = seconds(std::chrono::steady_clock::now() - t0);
    records = rig.recordsHeld(false);
    return wall;
}

void BM_FourFullRecordersAgainstOne(benchmark::State& state) {
    for (auto _ : state) {
        std::size_t oneRecords = 0;
        std::size_t fourRecords = 0;
        const double one = firstConnection(1, oneRecords);
        const double four = firstConnection(4, fourRecords);
        state.counters["one_s"] = one;
        state.counters["four_s"] = four;
        state.counters["ratio"] = four / one;
        state.counters["records_one"] = static_cast<double>(oneRecords);
        state.counters["records_four"] = static_cast<double>(fourRecords);
    }
}

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double residentKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stod(line.substr(6));
        }
    }
    return 0;
}

struct CycleFigures {
    double cpuPerRecorderPerCycleMs = 0;
    double residentKbPerRecorder = 0;
    double recordKbPerRecorder = 0;
};

// `count` recorders connected on simulated time, then `cycles` 15-second cycles: one step a
// second, each followed by the reports it brought.
CycleFigures cycles(int count, int cycles) {
    ManualClock clock;
    const double residentBefore = residentKb();
    FleetRig rig(count, clock, 0);
    rig.fleet->tick();
    rig.settle();
    const double residentAfter = residentKb();
    const double cpu0 = processCpuSeconds();
    for (int t = 0; t < cycles * kCycleTicks; ++t) {
        clock.advanceMs(1000);
        rig.fleet->tick();
        rig.settle();
    }
    const double cpu = processCpuSeconds() - cpu0;
    CycleFigures figures;
    figures.cpuPerRecorderPerCycleMs = cpu / count / cycles * 1e3;
    figures.residentKbPerRecorder = (residentAfter - residentBefore) / count;
    figures.recordKbPerRecorder =
        static_cast<double>(rig.recordsHeld(true) * sizeof(HistoryRecord)) / count / 1024.0;
    return figures;
}

void BM_SixteenRecordersAgainstOnePerCycle(benchmark::State& state) {
    constexpr int kCycles = 8;
    for (auto _ : state) {
        const CycleFigures one = cycles(1, kCycles);
        const CycleFigures sixteen = cycles(16, kCycles);
        state.counters["cpu_ms_one"] = one.cpuPerRecorderPerCycleMs;
        state.counters["cpu_ms_sixteen_each"] = sixteen.cpuPerRecorderPerCycleMs;
        state.counters["cpu_ratio"] =
            sixteen.cpuPerRecorderPerCycleMs / one.cpuPerRecorderPerCycleMs;
        state.counters["rss_kb_one"] = one.residentKbPerRecorder;
        state.counters["rss_kb_sixteen_each"] = sixteen.residentKbPerRecorder;
        state.counters["record_kb_each"] = sixteen.recordKbPerRecorder;
    }
}

BENCHMARK(BM_FourFullRecordersAgainstOne)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_SixteenRecordersAgainstOnePerCycle)->Unit(benchmark::kSecond)->Iterations(1);

} // namespace
} // namespace veldrin

BENCHMARK_MAIN();
