// A published position that cannot be kept (a full disk, a folder in the way) is said once per
// recorder until one of its saves succeeds, not at every one-second save.

#include "publish/broker_session.h"
#include "publish/published_position.h"
#include "publish/publisher.h"
#include "store/data_file.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <utility>
#include <vector>

namespace veldrin::publish {
namespace {

// A broker that takes every login and acknowledges every message at the next pump.
class AcknowledgingSession final : public BrokerSession {
public:
    bool open(SessionEvents& events, std::string&) override {
        events_ = &events;
        loginDue_ = true;
        return true;
    }
    int publish(const std::string&, const std::string&, bool) override {
        pending_.push_back(++lastId_);
        return lastId_;
    }
    bool pump(int, std::string&) override {
        if (std::exchange(loginDue_, false)) {
            events_->connected(0, "");
        }
        for (const int id : std::exchange(pending_, {})) {
            events_->acknowledged(id);
        }
        return true;
    }
    void close() override {}

private:
    SessionEvents* events_ = nullptr;
    bool loginDue_ = false;
    std::vector<int> pending_;
    int lastId_ = 0;
};

void writeHistory(const std::string& folder, int32_t number, int records) {
    RecordList list(static_cast<std::size_t>(records));
    for (int i = 0; i < records; ++i) {
        list[static_cast<std::size_t>(i)].setTime(DateTime::fromFields(2026, 12, 1, 0, i));
    }
    testing::writeFile(dataFilePath(folder, number), encodeDataFile({}, list, 0));
}

TEST(PublishedPositionProblem, IsSaidOncePerRecorderUntilASaveSucceeds) {
    testing::TempDir dir;
    testing::writeFile(dir.file("main.ini"),
                       "[Drive ID]\nMaxID=2\nID0000000=4,2,2\nID0000001=9,3,3\n");
    for (int32_t n = 0; n < 2; ++n) {
        writeHistory(dir.path(), n, 5);
        std::filesystem::create_directory(positionPath(dir.path(), n)); // in the rename's way
    }
    ManualClock clock;
    AcknowledgingSession session;
    std::vector<std::string> problems;
    PublisherSettings settings;
    settings.dataFolder = dir.path();
    Publisher publisher(
        settings, session, clock, [] { return -1; }, [](const std::string&) {},
        [&](const std::string& line) { problems.push_back(line); });
    const auto runSeconds = [&](int seconds) {
        for (int i = 0; i < seconds * 4; ++i) {
            publisher.step();
            clock.advanceMs(250);
        }
    };

    runSeconds(10);
    EXPECT_EQ(publisher.acknowledgedRecords(0), 5u);
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_NE(problems[0].find("cannot be kept"), std::string::npos) << problems[0];

    // Kept again, then lost again: said again, for that recorder only.
    std::filesystem::remove(positionPath(dir.path(), 0));
    runSeconds(2);
    std::filesystem::remove(positionPath(dir.path(), 0));
    std::filesystem::create_directory(positionPath(dir.path(), 0));
    writeHistory(dir.path(), 0, 7);
    runSeconds(10);
    EXPECT_EQ(publisher.acknowledgedRecords(0), 7u);
    EXPECT_EQ(problems.size(), 3u);
}

} // namespace
} // namespace veldrin::publish
