// The recorder is pulled out at every frame of a full first connection (identification and
// registration, the download of a wrapped memory, the clock setting, the second download), then
// plugged in again. Each run must come to rest, leave only files that load, and end with a history
// that holds every record of the recorder's memory exactly once.

#include "acquisition/recorder_fleet.h"
#include "chain_rig.h"
#include "device/logger_header.h"
#include "sim/sim_backend.h"
#include "store/data_file.h"
#include "store/registry.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>

namespace veldrin {
namespace {

using testing::ChainRig;

// Every record the recorder makes is told apart by its values: record i has the raw temperature
// i mod 1201 and the humidity 1 + (i / 1201) mod 99, unique for the first 118,899 records.
constexpr int kRawSteps = 1201;
constexpr uint32_t kPreloaded = 20000; // more than the 16,320 the memory holds: it has wrapped

// A second recorder's humidity lies `humidityOffset` higher, so that its records are told apart.
sim::RecorderConfig wrappedRecorder(int humidityOffset = 0) {
    sim::RecorderConfig config = ChainRig::blankRecorder(kPreloaded);
    config.clockOffsetSeconds = -3600; // late, so that the clock is set
    config.series.clear();
    for (int i = 0; i < 30000; ++i) {
        config.series.push_back(
            {(i % kRawSteps) * 0.1 - 40.0, humidityOffset + 1 + (i / kRawSteps) % 99});
    }
    return config;
}

// A hundred and more chains save their files many times each; in a memory file system those saves
// need not wait for a disk, which is no part of what is tested here.
std::string folderRoot() {
    return std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
}

int64_t recordIndex(const HistoryRecord& r) {
    const auto raw = std::lround((r.temperature + 40.0) * 10.0);
    return raw + int64_t{kRawSteps} * (r.humidity - 1);
}

// The frame numbers to try: every `shortStride`-th frame outside the long run of record reads of
// the first download, and every `longStride`-th frame inside it (its last one included).
std::vector<uint64_t> framesToTry(const std::vector<Frame>& frames, uint64_t shortStride,
                                  uint64_t longStride) {
    const auto isRecordRead = [](const Frame& f) {
        return f[0] == 0xA1 && f[4] == 0xA1 && f[1] >= 1; // a read at 256 or above
    };
    // The first download: the longest stretch of consecutive record-area reads.
    std::size_t bestStart = 0;
    std::size_t bestLength = 0;
    for (std::size_t i = 0; i < frames.size();) {
        std::size_t j = i;
        while (j < frames.size() && isRecordRead(frames[j])) {
            ++j;
        }
        if (j - i > bestLength) {
            bestStart = i;
            bestLength = j - i;
        }
        i = j == i ? i + 1 : j;
    }
    std::vector<uint64_t> out;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const bool inLongRun = i >= bestStart && i < bestStart + bestLength;
        const bool taken =
            inLongRun ? (i - bestStart) % longStride == 0 || i + 1 == bestStart + bestLength
                      : i % shortStride == 0;
        if (taken) {
            out.push_back(i + 1); // frames are counted from 1
        }
    }
    return out;
}

// Every frame of the short phases is tried, and every 41st of the download's 4,080 reads. The
// sanitizers make each run many times slower: there every 3rd and every 800th.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr uint64_t kShortStride = 3;
constexpr uint64_t kDownloadStride = 800;
#else
constexpr uint64_t kShortStride = 1;
constexpr uint64_t kDownloadStride = 41;
#endif

// Runs the chain until it is idle again with the recorder plugged in and its clock set.
void reconnect(ChainRig& rig) {
    rig.poll(); // the presence poll notices that the recorder is gone
    rig.recorder->plug();
    for (int attempt = 0; attempt < 5 && !rig.acquisition->clockSetDone(); ++attempt) {
        rig.poll();
        rig.recorder->update();
    }
    rig.poll();
}

// A clean first connection gives the frames of the whole chain.
std::vector<Frame> referenceFrames() {
    ChainRig rig(wrappedRecorder(), folderRoot());
    rig.poll();
    EXPECT_TRUE(rig.acquisition->clockSetDone());
    EXPECT_EQ(rig.recorder->clockSettings(), 1);
    return rig.frames;
}

// The history in the file: consecutive records (counted from `first`) up to the newest the
// recorder has made, none twice.
void expectWholeHistory(const std::string& path, int64_t first, sim::SoftwareRecorder& recorder) {
    DataFileContent history;
    std::string message;
    ASSERT_TRUE(decodeDataFile(testing::readFile(path), history, message)) << message;
    // A wrapped memory holds all but the erased rest of its newest block (64 records).
    ASSERT_GE(history.records.size(), 16320u - 64u);
    for (std::size_t i = 1; i < history.records.size(); ++i) {
        ASSERT_EQ(recordIndex(history.records[i]), recordIndex(history.records[i - 1]) + 1)
            << "record " << i << " of " << history.records.size();
    }
    ASSERT_EQ(recordIndex(history.records.back()),
              first + static_cast<int64_t>(recorder.recordsMade()) - 1);
}

TEST(UnplugAtEveryFrame, EveryRunEndsWithEachRecordExactlyOnce) {
    const std::vector<Frame> reference = referenceFrames();
    ASSERT_GT(reference.size(), 4080u); // two reads of each of the 2,040 units, and more
    const std::vector<uint64_t> positions = framesToTry(reference, kShortStride, kDownloadStride);

    for (const uint64_t n : positions) {
        SCOPED_TRACE("unplugged after frame " + std::to_string(n));
        ChainRig rig(wrappedRecorder(), folderRoot());
        sim::FaultPlan plan;
        plan.unplugFrame = n;
        rig.recorder->setFaults(plan);
        ASSERT_NO_THROW(rig.poll());
        ASSERT_FALSE(rig.recorder->plugged());
        ASSERT_NO_THROW(reconnect(rig));
        ASSERT_FALSE(rig.acquisition->workerBusy());
        ASSERT_TRUE(rig.acquisition->clockSetDone());
        // Fetch what the recorder made meanwhile, so that its newest record is on the PC.
        rig.acquisition->SendLoggerCommand(command::download);
        ASSERT_NO_THROW(rig.drain());

        // Every file in the folder loads; nothing was moved aside or left half-written.
        for (const auto& entry : std::filesystem::directory_iterator(rig.dir.path())) {
            const std::string name = entry.path().filename().string();
            if (name == "main.ini" || name == "veldrin.lock") {
                continue;
            }
            ASSERT_EQ(entry.path().extension(), ".dat") << name;
            DataFileContent content;
            std::string message;
            ASSERT_TRUE(decodeDataFile(testing::readFile(entry.path().string()), content, message))
                << name << ": " << message;
        }
        ASSERT_NO_FATAL_FAILURE(
            expectWholeHistory(rig.dataFile(rig.store->currentRecorder()), 0, *rig.recorder));
        RecorderIdentity registered; // one number, never one left to an identity nobody took
        ASSERT_EQ(readMaxId(*rig.ini), 1);
        ASSERT_TRUE(registeredIdentity(*rig.ini, 0, registered) &&
                    registered == identityFromHeader(rig.recorder->header()));
    }
    RecordProperty("positions", static_cast<int>(positions.size()));
    RecordProperty("frames", static_cast<int>(reference.size()));
    std::printf("unplugged at %zu of %zu frame positions\n", positions.size(), reference.size());
}

void settle(RecorderFleet& fleet) {
    while (fleet.waitAndPump(std::chrono::milliseconds(fleet.busy() ? 10 : 0)) > 0 ||
           fleet.busy()) {
    }
}

// Two recorders connected side by side; the second is pulled when the first has taken frame n of
// its whole first connection, then plugged in again. Both histories end whole, each in its file.
TEST(UnplugAtEveryFrame, TwoRecordersOnePulledAtEachFrameOfTheOthersDownload) {
    const std::vector<uint64_t> positions =
        framesToTry(referenceFrames(), 2 * kShortStride, 5 * kDownloadStride);
    constexpr int kSecondOffset = 30; // above every humidity of the first recorder's records
    for (const uint64_t n : positions) {
        SCOPED_TRACE("second pulled at frame " + std::to_string(n) + " of the first");
        testing::ScopedTimeZone tz{"UTC0"};
        ManualClock clock{testing::kChainStart};
        testing::TempDir dir(folderRoot());
        auto first = std::make_shared<sim::SoftwareRecorder>(wrappedRecorder(), clock);
        auto second =
            std::make_shared<sim::SoftwareRecorder>(wrappedRecorder(kSecondOffset), clock);
        first->setFrameObserver([second, n, seen = uint64_t{0}](const Frame&) mutable {
            if (++seen == n) {
                second->unplug();
            }
        });
        const std::unique_ptr<HidBackend> backend = sim::makeSimBackend({first, second});
        RecorderFleet fleet(*backend, dir.path(), clock);
        fleet.tick();
        settle(fleet);
        second->plug();
        for (int s = 0; s < 3; ++s) {
            clock.advanceMs(1000);
            fleet.tick();
            settle(fleet);
        }
        ASSERT_EQ(fleet.attachedCount(), 2);
        for (const FleetRecorder& r : fleet.recorders()) {
            fleet.acquisitionAt(r.interfacePath)->SendLoggerCommand(command::download);
        }
        settle(fleet);
        for (const FleetRecorder& r : fleet.recorders()) {
            const bool isFirst = r.interfacePath == sim::simInterfacePath(0);
            ASSERT_NO_FATAL_FAILURE(expectWholeHistory(
                dir.file(std::to_string(r.number) + ".dat"),
                isFirst ? 0 : int64_t{kRawSteps} * kSecondOffset, isFirst ? *first : *second))
                << r.interfacePath;
        }
    }
    std::printf("second pulled at %zu frame positions of the first\n", positions.size());
}

} // namespace
} // namespace veldrin
