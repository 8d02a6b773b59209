// The publisher against a session that acknowledges at once, on the manual clock: how fast a
// backlog may leave under --mqtt-rate, and how often the acknowledged position reaches the disk.

#include "core/clock.h"
#include "publish/published_position.h"
#include "publish/publisher.h"
#include "store/data_file.h"
#include "store/ini_file.h"
#include "store/registry.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace veldrin::publish {
namespace {

// Every message is acknowledged at the next pump, which takes the time it is given.
class PromptSession final : public BrokerSession {
public:
    explicit PromptSession(ManualClock& clock) : clock_(clock) {}
    bool open(SessionEvents& events, std::string&) override {
        events_ = &events;
        events.connected(0, {});
        return true;
    }
    int publish(const std::string& topic, const std::string&, bool) override {
        topics.push_back(topic);
        pending_.push_back(++lastId_);
        return lastId_;
    }
    std::string publishFailure() const override { return {}; }
    bool subscribe(const std::string&) override { return true; }
    bool pump(int timeoutMs, std::string&) override {
        for (const int id : std::exchange(pending_, {})) {
            events_->acknowledged(id);
        }
        clock_.advanceMs(advanceMs > 0 ? advanceMs : timeoutMs);
        return true;
    }
    void close() override {}

    std::vector<std::string> topics;
    int64_t advanceMs = 0; // 0: the whole timeout
private:
    ManualClock& clock_;
    SessionEvents* events_ = nullptr;
    std::vector<int> pending_;
    int lastId_ = 0;
};

class PublisherTest : public ::testing::Test {
protected:
    void SetUp() override {
        IniFile ini(dir.file("main.ini"));
        ASSERT_TRUE(registerNewRecorder(ini, 1700000000).error.empty());
        RecordList records(kBacklog);
        for (std::size_t i = 0; i < records.size(); ++i) {
            records[i].setTime(DateTime::fromFields(2026, 3, 1).plusMinutes(static_cast<int>(i)));
            records[i].interval = 1;
        }
        testing::writeFile(dataFilePath(dir.path(), 0),
                           encodeDataFile(RecorderSettings{}, records, 0));
        settings.dataFolder = dir.path();
        settings.positionKey = "k";
        settings.discovery = false;
    }
    std::size_t recordsSent() const {
        return static_cast<std::size_t>(
            std::count_if(session.topics.begin(), session.topics.end(),
                          [](const std::string& t) { return t.ends_with("/record"); }));
    }
    uint64_t kept() const { return loadPosition(positionPath(dir.path(), 0, "k")).acknowledged; }

    static constexpr std::size_t kBacklog = 5000;
    testing::TempDir dir;
    ManualClock clock;
    PromptSession session{clock};
    PublisherSettings settings;
};

TEST_F(PublisherTest, ARateHoldsABacklogToItsRecordsPerSecond) {
    settings.rate = 50;
    Publisher publisher(
        settings, session, clock, {}, [](auto&) {}, [](auto&) {});
    const int64_t start = clock.steadyMs();
    while (clock.steadyMs() - start < 3000) {
        publisher.step();
    }
    // One second's worth at once, then 50 a second.
    EXPECT_GE(recordsSent(), 50u + 2 * 50u);
    EXPECT_LE(recordsSent(), 50u + 3 * 50u + 1);
}

TEST_F(PublisherTest, ThePositionIsSavedEveryThousandAcknowledgementsAndEverySecond) {
    session.advanceMs = 1; // a fast broker: a thousand records take well under a second
    Publisher publisher(
        settings, session, clock, {}, [](auto&) {}, [](auto&) {});
    uint64_t furthestUnsaved = 0;
    while (publisher.acknowledgedRecords(0) < kBacklog) {
        publisher.step();
        furthestUnsaved = std::max(furthestUnsaved, publisher.acknowledgedRecords(0) - kept());
    }
    EXPECT_LE(furthestUnsaved, Publisher::kSaveEveryAcknowledgements);
    EXPECT_EQ(kept(), kBacklog);

    // A slow broker: saved every second although fewer than a thousand came.
    session.advanceMs = 0;
    settings.rate = 100;
    std::remove(positionPath(dir.path(), 0, "k").c_str());
    Publisher slow(
        settings, session, clock, {}, [](auto&) {}, [](auto&) {});
    const int64_t start = clock.steadyMs();
    while (clock.steadyMs() - start < 2500) {
        slow.step();
    }
    EXPECT_GT(kept(), 0u);
    EXPECT_LT(kept(), 1000u);
}

} // namespace
} // namespace veldrin::publish
