// The recorder is pulled out at every frame of a full first connection (identification and
// registration, the download of a wrapped memory, the clock setting, the second download), then
// plugged in again. Each run must come to rest, leave only files that load, and end with a history
// that holds every record of the recorder's memory exactly once.

#include "chain_rig.h"
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

sim::RecorderConfig wrappedRecorder() {
    sim::RecorderConfig config = ChainRig::blankRecorder(kPreloaded);
    config.clockOffsetSeconds = -3600; // late, so that the clock is set
    config.series.clear();
    for (int i = 0; i < 30000; ++i) {
        config.series.push_back({(i % kRawSteps) * 0.1 - 40.0, 1 + (i / kRawSteps) % 99});
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

TEST(UnplugAtEveryFrame, EveryRunEndsWithEachRecordExactlyOnce) {
    // A clean first connection gives the frames of the whole chain.
    std::vector<Frame> reference;
    {
        ChainRig rig(wrappedRecorder(), folderRoot());
        rig.poll();
        ASSERT_TRUE(rig.acquisition->clockSetDone());
        ASSERT_EQ(rig.recorder->clockSettings(), 1);
        reference = rig.frames;
    }
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
        // The recorder's history: consecutive records up to its newest, none twice.
        DataFileContent history;
        std::string message;
        const int32_t number = rig.store->currentRecorder();
        ASSERT_TRUE(decodeDataFile(testing::readFile(rig.dataFile(number)), history, message));
        // A wrapped memory holds all but the erased rest of its newest block (64 records).
        ASSERT_GE(history.records.size(), 16320u - 64u);
        for (std::size_t i = 1; i < history.records.size(); ++i) {
            ASSERT_EQ(recordIndex(history.records[i]), recordIndex(history.records[i - 1]) + 1)
                << "record " << i << " of " << history.records.size();
        }
        ASSERT_EQ(recordIndex(history.records.back()),
                  static_cast<int64_t>(rig.recorder->recordsMade()) - 1);
    }
    RecordProperty("positions", static_cast<int>(positions.size()));
    RecordProperty("frames", static_cast<int>(reference.size()));
    std::printf("unplugged at %zu of %zu frame positions\n", positions.size(), reference.size());
}

} // namespace
} // namespace veldrin
