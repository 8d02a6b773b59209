// A published position that cannot be kept is said once per recorder until one of its saves
// succeeds, not at every one-second save.

#include "publish/broker_session.h"
#include "publish/published_position.h"
#include "publish/publisher.h"
#include "store/data_file.h"
#include "support/test_support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <utility>

namespace veldrin::publish {
namespace {

// A broker that takes the login and acknowledges every message at the next pump.
struct AcknowledgingSession final : BrokerSession {
    bool open(SessionEvents& e, std::string&) override { return (events = &e) != nullptr; }
    int publish(const std::string&, const std::string&, bool) override {
        pending.push_back(++lastId);
        return lastId;
    }
    std::string publishFailure() const override { return {}; }
    bool subscribe(const std::string&) override { return true; }
    bool pump(int, std::string&) override {
        if (std::exchange(loginDue, false)) {
            events->connected(0, "");
        }
        for (const int id : std::exchange(pending, {})) {
            events->acknowledged(id);
        }
        return true;
    }
    void close() override {}
    SessionEvents* events = nullptr;
    bool loginDue = true;
    std::vector<int> pending;
    int lastId = 0;
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
    PublisherSettings settings;
    settings.dataFolder = dir.path();
    settings.positionKey = "test";
    settings.saveInBackground = false;
    const auto blockPosition = [&](int32_t n) { // a folder in the rename's way
        std::filesystem::remove(positionPath(dir.path(), n, settings.positionKey));
        std::filesystem::create_directory(positionPath(dir.path(), n, settings.positionKey));
    };
    for (int32_t n = 0; n < 2; ++n) {
        writeHistory(dir.path(), n, 5);
        blockPosition(n);
    }
    ManualClock clock;
    AcknowledgingSession session;
    std::vector<std::string> said;
    Publisher publisher(
        settings, session, clock, [] { return -1; }, [](const std::string&) {},
        [&](const std::string& line) { said.push_back(line); });
    const auto runSeconds = [&](int seconds) {
        for (int i = 0; i < seconds * 4; ++i, clock.advanceMs(250)) {
            publisher.step();
        }
    };
    runSeconds(10);
    EXPECT_EQ(publisher.acknowledgedRecords(0), 5u);
    ASSERT_EQ(said.size(), 2u);
    EXPECT_NE(said[0].find("cannot be kept"), std::string::npos) << said[0];
    // Kept again, then lost again: said again, for that recorder only.
    std::filesystem::remove(positionPath(dir.path(), 0, settings.positionKey));
    writeHistory(dir.path(), 0, 6);
    runSeconds(2);
    blockPosition(0);
    writeHistory(dir.path(), 0, 7);
    runSeconds(10);
    EXPECT_EQ(said.size(), 3u);
}

} // namespace
} // namespace veldrin::publish
