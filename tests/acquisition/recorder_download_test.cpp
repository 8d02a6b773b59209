// The history download against the software recorder: what the recorder writes block after block
// is what the host's download fetches, each record once.

#include "acquisition/history_download.h"
#include "device/logger_link.h"
#include "sim/sim_backend.h"
#include "sim/software_recorder.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace veldrin {
namespace {

constexpr int64_t kMinute = 60'000;

struct Raws final : DownloadTarget {
    std::vector<int> raws;
    int32_t next = 0;
    void progress(int) override {}
    void handOver(const DownloadedBatch& batch) override {
        for (const RawRecord& r : batch.records) {
            raws.push_back(r.raw);
        }
        next = batch.newNextAddress;
    }
};

class RecorderDownload : public ::testing::Test {
protected:
    RecorderDownload() {
        sim::RecorderConfig config;
        for (int i = 0; i < 1000; ++i) { // record i carries raw temperature 100 + i
            config.series.push_back({(100 + i) * 0.1 - 40.0, 50});
        }
        recorder = std::make_shared<sim::SoftwareRecorder>(std::move(config), clock);
        backend = sim::makeSimBackend(recorder);
        link = std::make_unique<LoggerLink>(*backend);
    }

    // One download from the stored next address `next`, which moves on as the host keeps it.
    std::vector<int> download(int32_t& next) {
        HeaderImage header{};
        EXPECT_EQ(link->ReadHeader(header), 1);
        RecorderSettings settings;
        decodeSettings(header, 0, clock.nowLocal(), settings);
        Raws target;
        target.next = next;
        EXPECT_EQ(DownloadHistory(*link, settings, next, clock.nowLocal(), target), 1);
        next = target.next;
        return target.raws;
    }

    testing::ScopedTimeZone tz{"UTC0"};
    ManualClock clock;
    std::shared_ptr<sim::SoftwareRecorder> recorder;
    std::unique_ptr<HidBackend> backend;
    std::unique_ptr<LoggerLink> link;
};

TEST_F(RecorderDownload, AfterSeveralBlocksExactlyTheNewRecordsAreFetched) {
    recorder->preloadHistory(100);
    int32_t next = 0;
    const std::vector<int> first = download(next);
    ASSERT_EQ(first.size(), 100u);
    EXPECT_EQ(first.front(), 100);
    EXPECT_EQ(next, 256 + 400);

    clock.advanceMs(300 * kMinute); // more than four blocks further on
    const std::vector<int> second = download(next);
    ASSERT_EQ(second.size(), 300u);
    EXPECT_EQ(second.front(), 200);
    EXPECT_EQ(second.back(), 499);
    EXPECT_EQ(next, 256 + 4 * 400);
    EXPECT_TRUE(download(next).empty());
}

} // namespace
} // namespace veldrin
