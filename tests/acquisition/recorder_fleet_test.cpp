// The fleet: every recorder attached served at once over one data folder. Each recorder's records
// tell it apart (its own humidity band) and number them (the raw temperature), so that a record
// lost, doubled or saved in another recorder's file shows.

#include "acquisition/configuration_write.h"
#include "acquisition/recorder_fleet.h"
#include "chain_rig.h"
#include "sim/sim_backend.h"
#include "store/data_file.h"
#include "store/registry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <thread>

namespace veldrin {
namespace {

constexpr int kRawSteps = 1201;

// Recorder k makes record i with the raw temperature i mod 1201 and the humidity 10k + 1 + i /
// 1201.
sim::RecorderConfig numberedRecorder(int k, uint32_t records) {
    sim::RecorderConfig config = testing::ChainRig::blankRecorder(records);
    config.acceleration = 60; // a record every second: each step brings new ones
    config.series.clear();
    for (int i = 0; i < 4 * kRawSteps; ++i) {
        config.series.push_back({(i % kRawSteps) * 0.1 - 40.0, 10 * k + 1 + i / kRawSteps});
    }
    return config;
}

int recorderOf(const HistoryRecord& r) {
    return (r.humidity - 1) / 10;
}
int64_t indexOf(const HistoryRecord& r) {
    return std::lround((r.temperature + 40.0) * 10.0) +
           int64_t{kRawSteps} * ((r.humidity - 1) % 10);
}

// Everything the listener heard, in order.
struct Heard final : FleetListener {
    void statusText(const FleetRecorder& r, const std::u16string&) override { ++texts[r.chain]; }
    void recorderAttached(const FleetRecorder& r) override {
        events.push_back("+" + r.interfacePath);
    }
    // With how many others are attached as it goes: the one going is no longer counted.
    void recorderVanished(const FleetRecorder& r) override {
        events.push_back("-" + r.interfacePath + " " + std::to_string(fleet->attachedCount()));
    }
    void recorderIdentified(const FleetRecorder& r, bool isNew) override {
        identified[r.interfacePath] = r.number;
        events.push_back((isNew ? "new " : "known ") + std::to_string(r.number));
    }
    void newData(const FleetRecorder& r) override { ++data[r.number]; }
    RecorderFleet* fleet = nullptr;
    std::vector<std::string> events;
    std::map<uint64_t, int> texts;
    std::map<std::string, int32_t> identified;
    std::map<int32_t, int> data;
};

// Three recorders registered in the second the fleet starts take its next free seconds.
const std::set<int64_t> kFirstSecondIdentities{testing::kChainStart, testing::kChainStart + 1,
                                               testing::kChainStart + 2};

struct FleetRig {
    using Wrap = std::function<std::unique_ptr<HidBackend>(std::unique_ptr<HidBackend>)>;
    explicit FleetRig(const std::vector<uint32_t>& counts, const Wrap& wrap = {}) {
        for (std::size_t k = 0; k < counts.size(); ++k) {
            recorders.push_back(std::make_shared<sim::SoftwareRecorder>(
                numberedRecorder(static_cast<int>(k), counts[k]), clock));
        }
        backend = wrap ? wrap(sim::makeSimBackend(recorders)) : sim::makeSimBackend(recorders);
        fleet = std::make_unique<RecorderFleet>(*backend, dir.path(), clock, &heard);
        heard.fleet = fleet.get();
    }
    // Reports handed over until every worker is idle and nothing is queued.
    void drain() {
        using namespace std::chrono_literals;
        const auto giveUp = std::chrono::steady_clock::now() + 60s;
        while (fleet->waitAndPump(fleet->busy() ? 10ms : 0ms) > 0 || fleet->busy()) {
            ASSERT_LT(std::chrono::steady_clock::now(), giveUp) << "the fleet did not come to rest";
        }
    }
    // One second: the tick, then its reports.
    void second() {
        clock.advanceMs(1000);
        fleet->tick();
        fleet->pump();
    }
    DataFileContent file(int32_t number) const {
        DataFileContent content;
        std::string message;
        EXPECT_TRUE(decodeDataFile(testing::readFile(dir.file(std::to_string(number) + ".dat")),
                                   content, message))
            << number << ": " << message;
        return content;
    }
    // The file of `number` holds recorder k's records 0 .. made-1, each once, and nobody else's.
    void expectWholeHistory(int32_t number, int k) {
        const DataFileContent content = file(number);
        ASSERT_FALSE(content.records.empty()) << number;
        for (std::size_t i = 0; i < content.records.size(); ++i) {
            ASSERT_EQ(recorderOf(content.records[i]), k) << "file " << number << " record " << i;
            ASSERT_EQ(indexOf(content.records[i]), static_cast<int64_t>(i)) << number;
        }
        EXPECT_EQ(content.records.size(), recorders[static_cast<std::size_t>(k)]->recordsMade());
    }

    // Every recorder plugged in and connected, then downloads until each file has caught up with
    // what its recorder made; each history must then be whole, once, in its own file.
    void expectEveryHistoryWhole() {
        for (auto& recorder : recorders) {
            recorder->setFaults(sim::FaultPlan{});
            recorder->plug();
        }
        for (int s = 0; s < 3; ++s) {
            second();
            drain();
        }
        for (int pass = 0; pass < 3; ++pass) {
            for (const FleetRecorder& r : fleet->recorders()) {
                fleet->acquisitionAt(r.interfacePath)->SendLoggerCommand(command::download);
            }
            drain();
        }
        for (std::size_t k = 0; k < recorders.size(); ++k) {
            SCOPED_TRACE("recorder " + std::to_string(k));
            expectWholeHistory(heard.identified.at(sim::simInterfacePath(k)), static_cast<int>(k));
        }
    }

    // One number per recorder, registered with the recorder's own identity; returns the seconds
    // the identities were made from.
    std::set<int64_t> expectOwnIdentities() {
        IniFile ini(dir.file("main.ini"));
        EXPECT_EQ(readMaxId(ini), static_cast<int32_t>(recorders.size()));
        std::set<int64_t> seconds;
        for (std::size_t k = 0; k < recorders.size(); ++k) {
            RecorderIdentity id;
            EXPECT_TRUE(registeredIdentity(ini, heard.identified.at(sim::simInterfacePath(k)), id));
            EXPECT_EQ(identityFromHeader(recorders[k]->header()), id) << k;
            seconds.insert(int64_t{id.high} << 16 | id.low);
        }
        return seconds;
    }

    testing::ScopedTimeZone tz{"UTC0"};
    ManualClock clock{testing::kChainStart};
    testing::TempDir dir;
    std::vector<std::shared_ptr<sim::SoftwareRecorder>> recorders;
    std::unique_ptr<HidBackend> backend;
    Heard heard;
    std::unique_ptr<RecorderFleet> fleet;
};

TEST(RecorderFleet, ServesEveryRecorderAtOnceAndRetiresOnlyThePulledOne) {
    FleetRig rig({300, 200, 130});
    rig.fleet->tick();
    EXPECT_EQ(rig.fleet->attachedCount(), 3); // all found by the first step
    rig.drain();

    // Registered in one second, yet three numbers and three identities; each history whole.
    for (std::size_t k = 0; k < 3; ++k) {
        const int32_t number = rig.heard.identified.at(sim::simInterfacePath(k));
        rig.expectWholeHistory(number, static_cast<int>(k));
        EXPECT_GT(rig.heard.data[number], 0) << number;
        EXPECT_EQ(rig.fleet->storeOf(number)->displayedCount(), 0u) << "records held twice";
        EXPECT_EQ(rig.fleet->acquisitionOf(number),
                  rig.fleet->acquisitionAt(sim::simInterfacePath(k)));
    }
    EXPECT_EQ(rig.expectOwnIdentities(), kFirstSecondIdentities);
    EXPECT_EQ(rig.heard.texts.size(), 3u); // each chain spoke for itself

    // Pulled: said within the next step, the others stay.
    rig.heard.events.clear();
    rig.recorders[1]->unplug();
    rig.second();
    EXPECT_EQ(rig.heard.events, std::vector<std::string>{"-sim:1 2"});
    EXPECT_EQ(rig.fleet->attachedCount(), 2);
    EXPECT_EQ(rig.fleet->acquisitionAt("sim:1"), nullptr);
    // Plugged in again: a chain of its own recognises it.
    rig.recorders[1]->plug();
    rig.second();
    rig.drain();
    EXPECT_EQ(rig.heard.events, (std::vector<std::string>{
                                    "-sim:1 2", "+sim:1",
                                    "known " + std::to_string(rig.heard.identified.at("sim:1"))}));
    EXPECT_EQ(rig.fleet->counts().failedWrites, 0);
}

// Pulled right after frame 37 or 5 of the first download, in the second all three were found, and
// plugged in again: still one number and one identity per recorder, each history whole in its file.
TEST(RecorderFleet, PulledDuringTheFirstDownloadKeepsOneNumberAndIdentityPerRecorder) {
    FleetRig rig({300, 200, 130});
    const uint64_t pulledAt[] = {0, 37, 5}; // 0: never
    for (std::size_t k = 0; k < 3; ++k) {
        sim::FaultPlan plan;
        plan.unplugFrame = pulledAt[k];
        rig.recorders[k]->setFaults(plan);
    }
    rig.fleet->tick();
    rig.drain();
    ASSERT_FALSE(rig.recorders[1]->plugged() || rig.recorders[2]->plugged()); // pulled as planned
    rig.expectEveryHistoryWhole();
    EXPECT_EQ(rig.expectOwnIdentities(), kFirstSecondIdentities);
}

// Pulled at a random frame of whatever runs (a download, an identification, a clock setting) or
// at once, plugged in again within the same second or later, in a seeded random order.
TEST(RecorderFleet, PlugsAndPullsInAnyOrderLoseNoRecordDoubleNoneMixNone) {
    for (const unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        FleetRig rig({900, 2500, 400});
        std::mt19937 random(seed);
        for (int step = 0; step < 40; ++step) {
            auto& recorder = rig.recorders[random() % 3];
            if (!recorder->plugged()) {
                recorder->plug();
            } else if (random() % 2 == 0) {
                recorder->unplug();
            } else {
                sim::FaultPlan plan;
                plan.unplugFrame = 1 + random() % 300;
                recorder->setFaults(plan);
            }
            for (unsigned s = random() % 3; s > 0; --s) {
                rig.second();
            }
            rig.fleet->pump();
        }
        rig.expectEveryHistoryWhole();
        rig.expectOwnIdentities(); // no number left to an identity that nobody took
    }
}

// One recorder listed as "hub:N" for the N in `port`: changing it moves the recorder there at once.
struct MovingBackend final : HidBackend {
    explicit MovingBackend(std::unique_ptr<HidBackend> sim) : inner(std::move(sim)) {}
    std::string at() const { return "hub:" + std::to_string(port); }
    bool listInterfaces(std::vector<std::string>& paths) override {
        const bool listed = inner->listInterfaces(paths);
        paths.assign(paths.size(), at());
        return listed;
    }
    std::unique_ptr<HidDevice> open(const std::string& path) override {
        return path == at() ? inner->open("sim:0") : nullptr;
    }
    std::unique_ptr<HidBackend> inner;
    std::atomic<int> port{1};
};

// Moved to another interface while the chain it left waits to save (its store held here): the new
// chain must not load the file before that save has landed, or the file goes back.
TEST(RecorderFleet, ARecorderMovedWhileItsOldChainSavesIsLoadedOnlyAfterThatSave) {
    std::atomic<int> posts{0};
    FleetRig rig({300}, [](auto sim) { return std::make_unique<MovingBackend>(std::move(sim)); });
    sim::SoftwareRecorder& recorder = *rig.recorders[0];
    rig.fleet->setWakeUp([&posts] { ++posts; });
    rig.fleet->tick();
    rig.drain();
    recorder.preloadHistory(200);
    recorder.setFaults(sim::FaultPlan{}); // frames counted from here
    {
        std::lock_guard saving(rig.fleet->storeOf(0)->mutex());
        rig.fleet->acquisitionAt("hub:1")->SendLoggerCommand(command::download);
        while (recorder.framesReceived() < 8) { // the header: its save comes next
            std::this_thread::yield();
        }
        const int before = posts;
        static_cast<MovingBackend&>(*rig.backend).port = 2;
        rig.second();
        while (posts < before + 2) { // the new chain's header read and recognition
            std::this_thread::yield();
        }
        // Whatever the fleet lets the new chain do before the old one saves, it does now.
        while (rig.fleet->pump() >= 0 && rig.heard.identified.count("hub:2") != 0 &&
               rig.fleet->acquisitionAt("hub:2")->workerBusy()) {
        }
        recorder.setFaults(sim::FaultPlan{.hangUpFrame = 1}); // the old chain reads no more
    }
    rig.drain();
    const DataFileContent file = rig.file(rig.heard.identified.at("hub:2"));
    ASSERT_EQ(file.records.size(), rig.fleet->storeOf(0)->connectedCount());
    ASSERT_GE(file.records.size(), 500u);
    EXPECT_EQ(indexOf(file.records.back()), static_cast<int64_t>(file.records.size()) - 1);
}

// One recorder's chain must never wait for another's store: with recorder 0's store held, the
// others download and save all the same.
TEST(RecorderFleet, OneStoreHeldBlocksNoOtherRecorder) {
    FleetRig rig({50, 50});
    rig.fleet->tick();
    rig.drain();
    const int32_t held = rig.heard.identified.at("sim:0");
    rig.recorders[1]->preloadHistory(3000);
    std::lock_guard lock(rig.fleet->storeOf(held)->mutex());
    rig.fleet->acquisitionAt("sim:1")->SendLoggerCommand(command::download);
    rig.drain();
    rig.expectWholeHistory(rig.heard.identified.at("sim:1"), 1);
}

// A recorder pulled part-way through its download while another is being configured: the
// configuration is written and read back, the pulled one is said gone at the next step, and both
// histories stay whole.
TEST(RecorderFleet, ARecorderPulledWhileAnotherIsConfigured) {
    for (const uint64_t pulledAt : {1, 9, 40}) {
        FleetRig rig({300, 300});
        rig.fleet->tick();
        rig.drain();
        rig.recorders[1]->preloadHistory(3000);
        sim::FaultPlan plan;
        plan.unplugFrame = pulledAt;
        rig.recorders[1]->setFaults(plan);
        rig.fleet->acquisitionAt("sim:1")->SendLoggerCommand(command::download);
        Acquisition& configured = *rig.fleet->acquisitionAt("sim:0");
        configured.holdPeriodicCommands(true);
        ConfigurationEdit edit = editFromSettings(configured.store().connectedSettings());
        edit.interval = 5;
        edit.description = u"fridge";
        EXPECT_EQ(configured.writeConfiguration(edit), Acquisition::WriteResult::written);
        configured.holdPeriodicCommands(false);
        rig.drain();
        rig.heard.events.clear();
        rig.second();
        EXPECT_EQ(rig.heard.events, std::vector<std::string>{"-sim:1 1"}) << pulledAt;
        EXPECT_EQ(rig.recorders[0]->header()[1], 5);
        EXPECT_EQ(rig.fleet->acquisitionAt("sim:0"), &configured);
        EXPECT_EQ(rig.file(rig.heard.identified.at("sim:0")).settings.description, u"fridge");
        rig.expectEveryHistoryWhole();
    }
}

} // namespace
} // namespace veldrin
