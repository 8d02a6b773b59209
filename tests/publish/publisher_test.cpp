// The publisher on the manual clock against a session that acknowledges every message at its next
// pump: how fast a backlog leaves under --mqtt-rate, and how far the position on disk may lag.

#include "publish/published_position.h"
#include "publish/publisher.h"
#include "store/ini_file.h"
#include "store/registry.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace veldrin::publish {
namespace {

class PromptSession final : public BrokerSession {
public:
    explicit PromptSession(ManualClock& clock) : clock_(clock) {}
    bool open(SessionEvents& events, std::string&) override {
        (events_ = &events)->connected(0, {});
        return true;
    }
    int publish(const std::string& topic, const std::string&, bool) override {
        records += topic.ends_with("/record") ? 1 : 0;
        pending_.push_back(++lastId_);
        return lastId_;
    }
    std::string publishFailure() const override { return {}; }
    bool subscribe(const std::string&) override { return true; }
    bool pump(int timeoutMs, std::string&) override {
        for (const int id : std::exchange(pending_, {})) {
            events_->acknowledged(id);
        }
        clock_.advanceMs(pumpMs > 0 ? pumpMs : timeoutMs);
        return true;
    }
    void close() override {}

    std::size_t records = 0;
    int64_t pumpMs = 0; // 0: the whole timeout
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
        }
        testing::writeFile(dataFilePath(dir.path(), 0), encodeDataFile({}, records, 0));
        settings.dataFolder = dir.path();
        settings.positionKey = "k";
        settings.saveInBackground = false;
    }
    // Steps for `ms` of the manual clock; the furthest the acknowledged ran ahead of the disk.
    uint64_t run(int64_t ms) {
        Publisher publisher(
            settings, session, clock, {}, [](auto&) {}, [](auto&) {});
        uint64_t furthestUnsaved = 0;
        for (const int64_t end = clock.steadyMs() + ms; clock.steadyMs() < end;) {
            publisher.step();
            furthestUnsaved = std::max(furthestUnsaved, publisher.acknowledgedRecords(0) - kept());
        }
        return furthestUnsaved;
    }
    uint64_t kept() const { return loadPosition(positionPath(dir.path(), 0, "k")).acknowledged; }

    static constexpr std::size_t kBacklog = 5000;
    testing::TempDir dir;
    ManualClock clock;
    PromptSession session{clock};
    PublisherSettings settings;
};

TEST_F(PublisherTest, ARateHoldsABacklogToItsRecordsPerSecondAfterASecondsWorth) {
    settings.rate = 50;
    run(3000);
    EXPECT_GE(session.records, 50u + 2 * 50u);
    EXPECT_LE(session.records, 50u + 3 * 50u + 1);
}

TEST_F(PublisherTest, ThePositionIsSavedEveryThousandAcknowledgements) {
    session.pumpMs = 1; // a fast broker: a thousand records in well under a second
    EXPECT_LE(run(200), Publisher::kSaveEveryAcknowledgements);
    EXPECT_EQ(kept(), kBacklog);
}

} // namespace
} // namespace veldrin::publish
