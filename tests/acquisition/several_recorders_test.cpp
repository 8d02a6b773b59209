// Several recorders, each on a chain of its own over one data folder, downloading side by side
// while some are pulled part-way and plugged in again: each history ends in its own file, once.

#include "chain_rig.h"
#include "sim/sim_backend.h"
#include "store/data_file.h"
#include "store/registry.h"

#include <gtest/gtest.h>

#include <chrono>

namespace veldrin {
namespace {

struct Chain {
    Chain(HidBackend& backend, const std::string& path, const std::string& folder, Clock& clock)
        : ini(folder + "/main.ini"), store(folder, ini, clock), link(backend, path),
          acquisition(link, store, clock, reports) {}
    IniFile ini;
    DataStore store;
    LoggerLink link;
    ReportQueue reports;
    Acquisition acquisition;
};

// Hands every chain's reports to its reaction until all workers are idle.
void drainAll(std::vector<std::unique_ptr<Chain>>& chains) {
    using namespace std::chrono_literals;
    const auto giveUp = std::chrono::steady_clock::now() + 60s;
    for (bool busy = true; busy;) {
        ASSERT_LT(std::chrono::steady_clock::now(), giveUp) << "the chains did not come to rest";
        busy = false;
        for (auto& chain : chains) {
            LoggerReport report;
            const bool working = chain->acquisition.workerBusy();
            const bool taken = chain->reports.waitFor(report, working ? 10ms : 0ms);
            if (taken) {
                chain->acquisition.HandleLoggerStatus(report.number, report.code);
            }
            busy = busy || taken || working;
        }
    }
}

TEST(SeveralRecorders, EachHistoryEndsInItsOwnFileOnceWhilePullsAndDownloadsInterleave) {
    testing::ScopedTimeZone tz{"UTC0"};
    ManualClock clock{testing::kChainStart};
    testing::TempDir dir;
    const uint32_t counts[] = {300, 200, 130};
    // Pulled right after this frame of its first download (0: never).
    const uint64_t pulledAt[] = {0, 37, 5};
    std::vector<std::shared_ptr<sim::SoftwareRecorder>> recorders;
    for (std::size_t i = 0; i < 3; ++i) {
        recorders.push_back(std::make_shared<sim::SoftwareRecorder>(
            testing::ChainRig::blankRecorder(counts[i]), clock));
        sim::FaultPlan plan;
        plan.unplugFrame = pulledAt[i];
        recorders.back()->setFaults(plan);
    }
    std::unique_ptr<HidBackend> backend = sim::makeSimBackend(recorders);
    IssuedIdentities issued;
    std::vector<std::unique_ptr<Chain>> chains;
    for (std::size_t i = 0; i < 3; ++i) {
        chains.push_back(
            std::make_unique<Chain>(*backend, sim::simInterfacePath(i), dir.path(), clock));
        chains.back()->acquisition.shareIssuedIdentities(issued);
    }
    for (int round = 0; round < 2; ++round) {
        for (auto& chain : chains) {
            chain->acquisition.PollPresence();
        }
        drainAll(chains);
        for (auto& recorder : recorders) {
            recorder->plug();
        }
    }

    IniFile ini(dir.file("main.ini"));
    EXPECT_EQ(readMaxId(ini), 3);
    for (int32_t n = 0; n < 3; ++n) {
        RecorderIdentity id;
        ASSERT_TRUE(registeredIdentity(ini, n, id)) << n; // all made in the same second
        DataFileContent content;
        std::string message;
        ASSERT_TRUE(decodeDataFile(testing::readFile(dir.file(std::to_string(n) + ".dat")), content,
                                   message))
            << message;
        for (std::size_t r = 1; r < content.records.size(); ++r) {
            EXPECT_EQ(secondsBetween(content.records[r].time(), content.records[r - 1].time()), 60)
                << n << " " << r;
        }
        int owners = 0; // the one recorder that carries the identity: its whole history, once

        for (std::size_t i = 0; i < 3; ++i) {
            if (identityFromHeader(recorders[i]->header()) == id) {
                ++owners;
                EXPECT_EQ(content.records.size(), counts[i]) << n;
            }
        }
        EXPECT_EQ(owners, 1) << n;
    }
}

} // namespace
} // namespace veldrin
