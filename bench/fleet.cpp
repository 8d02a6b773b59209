// Several recorders served at once by the fleet, each figure beside the same figure for one
// recorder measured in the same run:
// - four full recorders (16,320 records each) answering every frame after 1 ms, downloaded and
//   saved from their first connection: wall time against one (target ratio <= 1.3);
// - sixteen recorders attached and downloaded, then 15-second cycles on simulated time: host CPU
//   (every thread of the process) per recorder per cycle against one (target <= 2), and the
//   memory each recorder adds against the bytes of the records its chain holds (target: no more
//   than those records and a small constant).
//
// Memory is counted from the moment the software recorders exist (their memories are the
// devices', not the program's) to the end of the cycles, twice: the process's anonymous resident
// memory (heap, thread stacks as far as they are used; not the program's code, which the first
// run pages in), and the heap blocks in use, which leave out what the allocator keeps free. Each
// count runs in a child process of its own: memory that earlier runs freed stays resident for the
// allocator to reuse, and would hide what a run takes.

#include "acquisition/recorder_fleet.h"
#include "bench_folder.h"
#include "core/clock.h"
#include "sim/sim_backend.h"
#include "sim/software_recorder.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <malloc.h>
#include <memory>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

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

double anonymousResidentKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("RssAnon:", 0) == 0) {
            return std::stod(line.substr(8));
        }
    }
    return 0;
}

double heapInUseKb() {
    const struct mallinfo2 heap = mallinfo2();
    return static_cast<double>(heap.uordblks + heap.hblkhd) / 1024.0;
}

struct CycleFigures {
    double cpuPerRecorderPerCycleMs = 0;
    double residentKbPerRecorder = 0;
    double heapKbPerRecorder = 0;
    double recordKbPerRecorder = 0;
};

// `count` recorders connected on simulated time, then `cycles` 15-second cycles: one step a
// second, each followed by the reports it brought.
CycleFigures cycles(int count, int cycles) {
    ManualClock clock;
    FleetRig rig(count, clock, 0);
    const double residentBefore = anonymousResidentKb();
    const double heapBefore = heapInUseKb();
    rig.fleet->tick();
    rig.settle();
    const double cpu0 = processCpuSeconds();
    for (int t = 0; t < cycles * kCycleTicks; ++t) {
        clock.advanceMs(1000);
        rig.fleet->tick();
        rig.settle();
    }
    const double cpu = processCpuSeconds() - cpu0;
    CycleFigures figures;
    figures.cpuPerRecorderPerCycleMs = cpu / count / cycles * 1e3;
    figures.residentKbPerRecorder = (anonymousResidentKb() - residentBefore) / count;
    figures.heapKbPerRecorder = (heapInUseKb() - heapBefore) / count;
    figures.recordKbPerRecorder =
        static_cast<double>(rig.recordsHeld(true) * sizeof(HistoryRecord)) / count / 1024.0;
    return figures;
}

// "each of 16 recorders: 510 KiB of records, 661 KiB resident (1.30x), 540 KiB of heap (1.06x)"
std::string memoryLine(const CycleFigures& sixteen) {
    const double records = sixteen.recordKbPerRecorder;
    char line[160];
    std::snprintf(line, sizeof line,
                  "each of 16 recorders: %.0f KiB of records, %.0f KiB resident (%.2fx), %.0f KiB "
                  "of heap (%.2fx)",
                  records, sixteen.residentKbPerRecorder, sixteen.residentKbPerRecorder / records,
                  sixteen.heapKbPerRecorder, sixteen.heapKbPerRecorder / records);
    return line;
}

// cycles(count, n) measured in a child process, which starts from this process as it is now (one
// thread, nothing of the earlier runs but what they left free); all zero if it failed.
CycleFigures cyclesInChild(int count, int n) {
    CycleFigures figures;
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) {
        return figures;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        figures = cycles(count, n);
        const bool written = ::write(pipeEnds[1], &figures, sizeof figures) == sizeof figures;
        ::_exit(written ? 0 : 1);
    }
    ::close(pipeEnds[1]);
    if (child < 0 || ::read(pipeEnds[0], &figures, sizeof figures) != sizeof figures) {
        figures = CycleFigures{};
    }
    ::close(pipeEnds[0]);
    if (child > 0) {
        ::waitpid(child, nullptr, 0);
    }
    return figures;
}

void BM_SixteenRecordersAgainstOnePerCycle(benchmark::State& state) {
    constexpr int kCycles = 8;
    for (auto _ : state) {
        const CycleFigures one = cyclesInChild(1, kCycles);
        const CycleFigures sixteen = cyclesInChild(16, kCycles);
        state.counters["cpu_ms_one"] = one.cpuPerRecorderPerCycleMs;
        state.counters["cpu_ms_sixteen_each"] = sixteen.cpuPerRecorderPerCycleMs;
        state.counters["cpu_ratio"] =
            sixteen.cpuPerRecorderPerCycleMs / one.cpuPerRecorderPerCycleMs;
        state.counters["rss_kb_one"] = one.residentKbPerRecorder;
        state.counters["rss_kb_sixteen_each"] = sixteen.residentKbPerRecorder;
        state.counters["record_kb_each"] = sixteen.recordKbPerRecorder;
        state.counters["heap_kb_sixteen_each"] = sixteen.heapKbPerRecorder;
        state.counters["memory_ratio"] =
            sixteen.residentKbPerRecorder / sixteen.recordKbPerRecorder;
        state.SetLabel(memoryLine(sixteen));
    }
}

// The memory figures first: their child processes then start from a process that has not yet
// freed what larger runs took.
BENCHMARK(BM_SixteenRecordersAgainstOnePerCycle)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_FourFullRecordersAgainstOne)->Unit(benchmark::kSecond)->Iterations(1);

} // namespace
} // namespace veldrin

BENCHMARK_MAIN();
