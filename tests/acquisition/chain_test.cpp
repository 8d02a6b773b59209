// The whole chain from arrival to idle over the software recorder on simulated time: registration,
// recognition, download, clock setting, configuration write, and faults at every step.

#include "chain_rig.h"
#include "core/paths.h"
#include "store/data_file.h"
#include "store/registry.h"

#include <gtest/gtest.h>

namespace veldrin {
namespace {

using testing::ChainRig;
using Codes = std::vector<int>;
using ByteWrites = std::vector<std::pair<int, int>>;

DataFileContent readData(const std::string& path) {
    DataFileContent content;
    std::string message;
    const std::string bytes = testing::readFile(path);
    EXPECT_TRUE(decodeDataFile(bytes, content, message)) << path << ": " << message;
    return content;
}

// Frames of the single-byte writes, in order.
std::vector<std::pair<int, int>> byteWrites(const std::vector<Frame>& frames) {
    std::vector<std::pair<int, int>> out;
    for (const Frame& f : frames) {
        if (f[0] == 0xA2 && f[4] == 0xA2 && f[3] == 0x20) {
            out.emplace_back(f[1] * 256 + f[2], f[5]);
        }
    }
    return out;
}

void expectNoDuplicates(const RecordList& records) {
    for (std::size_t i = 1; i < records.size(); ++i) {
        ASSERT_LT(records[i - 1].time(), records[i].time()) << "at " << i;
    }
}

TEST(Chain, BlankRecorderIsRegisteredDownloadedAndItsClockSet) {
    auto config = ChainRig::blankRecorder(300);
    config.clockOffsetSeconds = -3600;
    ChainRig rig(config);
    rig.poll();
    EXPECT_EQ(rig.takeCodes(), (Codes{0, 1, 5, 6, 7, 3, 4, 6, 7}));
    EXPECT_FALSE(rig.acquisition->workerBusy());
    EXPECT_TRUE(rig.acquisition->clockSetDone());

    // main.ini: the first recorder is number 0 with an identity made from the clock.
    const RecorderIdentity id = RecorderIdentity::fromUnixTime(testing::kChainStart);
    IniFile ini(rig.dir.file("main.ini"));
    EXPECT_EQ(ini.readInt("Drive ID", "MaxID", -1), 1);
    EXPECT_EQ(ini.readInt("Drive ID", "ID", -1), 0);
    EXPECT_EQ(ini.readString("Drive ID", "ID0000000", ""),
              std::to_string(static_cast<int32_t>(id.product)) + "," + std::to_string(id.high) +
                  "," + std::to_string(id.low));
    EXPECT_EQ(identityFromHeader(rig.recorder->header()), id);

    const DataFileContent data = readData(rig.dataFile(0));
    ASSERT_EQ(data.records.size(), 300u);
    expectNoDuplicates(data.records);
    EXPECT_EQ(data.records.back().time(), DateTime::fromFields(2011, 6, 15, 14, 30, 12));
    EXPECT_EQ(data.records.front().time(), DateTime::fromFields(2011, 6, 15, 9, 31, 12));
    EXPECT_NEAR(data.records.back().temperature, 21.5 + 0.5 * ((300 - 1) % 3), 1e-9);
    EXPECT_EQ(data.nextAddress, 256 + 300 * 4);

    // The clock setting wrote the PC's time of that moment and the recorder took it.
    const auto writes = byteWrites(rig.frames);
    const std::vector<std::pair<int, int>> clockBytes = {
        {16, 0x55}, {17, 0x0B}, {18, 0x06}, {19, 0x0F}, {20, 0x0E}, {21, 0x1E}, {22, 0x0C}};
    EXPECT_NE(std::search(writes.begin(), writes.end(), clockBytes.begin(), clockBytes.end()),
              writes.end());
    EXPECT_EQ(rig.recorder->clockSettings(), 1);
}

TEST(Chain, KnownRecorderIsRecognisedAndContinuesWhereItStopped) {
    ChainRig rig;
    rig.poll();
    rig.takeCodes();
    const std::string firstFile = testing::readFile(rig.dataFile(0));

    rig.clock.base.advanceMs(10 * 60 * 1000); // ten more records
    rig.restartProgram();
    rig.poll();
    EXPECT_EQ(rig.takeCodes(), (Codes{0, 2, 5, 6, 7, 3, 4, 6, 7}));
    // Recognition writes the entry in its unsigned form; both forms name the same identity.
    const RecorderIdentity id = RecorderIdentity::fromUnixTime(testing::kChainStart);
    EXPECT_NE(rig.iniText().find("ID0000000=" + std::to_string(id.product) + ","),
              std::string::npos);
    EXPECT_EQ(readMaxId(*rig.ini), 1);

    const DataFileContent data = readData(rig.dataFile(0));
    ASSERT_EQ(data.records.size(), 310u);
    expectNoDuplicates(data.records);
    EXPECT_EQ(data.records.back().time(), DateTime::fromFields(2011, 6, 15, 14, 40, 12));
}

// The memory commands among the host frames: "R a" for a read at a, "B a" and "M a" for the
// one-byte and 32-byte writes (whose four data frames are not listed).
std::vector<std::string> memoryCommands(const std::vector<Frame>& frames) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const Frame& f = frames[i];
        const std::string address = " " + std::to_string(f[1] * 256 + f[2]);
        if (f[0] == 0xA1 && f[4] == 0xA1) {
            out.push_back("R" + address);
        } else if (f[0] == 0xA2 && f[4] == 0xA2) {
            out.push_back("B" + address);
        } else if (f[0] == 0xA0 && f[4] == 0xA0) {
            out.push_back("M" + address);
            i += 4;
        }
    }
    return out;
}

std::vector<std::string> headerRead() {
    std::vector<std::string> out;
    for (int a = 0; a < kHeaderSize; a += kMemoryUnit) {
        out.push_back("R " + std::to_string(a));
    }
    return out;
}

// A download's reads from `from` up to `end`: every unit twice, a partial first unit included.
std::vector<std::string> rangeRead(int from, int end) {
    std::vector<std::string> out;
    for (int n = from; n < end; n += kMemoryUnit - n % kMemoryUnit) {
        out.insert(out.end(), 2, "R " + std::to_string(n));
    }
    return out;
}

// The window's one-second timer on simulated time; returns the ticks (counted from 1) at which
// anything was sent to the recorder.
std::vector<int> runTicks(ChainRig& rig, int seconds) {
    std::vector<int> busyTicks;
    for (int tick = 1; tick <= seconds; ++tick) {
        const std::size_t before = rig.frames.size();
        rig.clock.base.advanceMs(1000);
        rig.acquisition->periodicStep();
        rig.drain();
        if (rig.frames.size() != before) {
            busyTicks.push_back(tick);
        }
    }
    return busyTicks;
}

// A recorder unplugged while the worker is idle and plugged in again is identified and downloaded
// once, and from then on only the presence check (which sends nothing) and the 15-second download
// run, however it comes back: after the poll saw it gone (once or in several rounds), within one
// poll period, or as another recorder.
TEST(Chain, RecorderPluggedInAgainIsConnectedOnceThenOnlyDownloadedEveryFifteenSeconds) {
    struct Case {
        const char* name;
        int rounds;
        bool absenceSeen; // the poll ran while the recorder was out
        bool another;     // a recorder new to this PC comes back instead
    };
    const Case cases[] = {
        {"plugged in again", 1, true, false},
        {"several rounds", 3, true, false},
        {"back within one poll period", 1, false, false},
        {"another recorder", 1, true, true},
        {"another recorder within one poll period", 1, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ChainRig rig;
        rig.poll();
        rig.takeCodes();
        const std::string firstFile = testing::readFile(rig.dataFile(0));
        // A replug within one poll period is not seen by the poll: a known recorder's next
        // download simply continues, another recorder's is turned into its identification.
        const Codes connection = c.another       ? Codes{0, 1, 5, 6, 7, 3, 4, 6, 7}
                                 : c.absenceSeen ? Codes{0, 2, 5, 6, 7}
                                                 : Codes{6, 7};
        for (int round = 0; round < c.rounds; ++round) {
            const int32_t stored = rig.store->nextAddress();
            rig.frames.clear();
            rig.recorder->unplug();
            if (c.another) {
                const std::vector<uint8_t> erased(8, 0xFF);
                rig.recorder->write(header::idProduct, erased.data(), erased.size());
            }
            if (c.absenceSeen) {
                EXPECT_TRUE(runTicks(rig, 2).empty());
                EXPECT_FALSE(rig.acquisition->recorderPresent());
                rig.recorder->plug();
                runTicks(rig, 1);
            } else {
                rig.recorder->plug();
                // Nothing tells the poll; the next download finds out whose memory it reads.
                EXPECT_EQ(runTicks(rig, 15), std::vector<int>{15});
            }
            EXPECT_EQ(rig.takeCodes(), connection);
            if (c.absenceSeen && !c.another) {
                // Identification and download each read the header; the download goes on from
                // the stored address.
                std::vector<std::string> expected = headerRead();
                const std::vector<std::string> again = headerRead();
                expected.insert(expected.end(), again.begin(), again.end());
                const int end = endAddress(rig.recorder->header()[header::lastBlock]);
                const std::vector<std::string> range = rangeRead(stored, end);
                expected.insert(expected.end(), range.begin(), range.end());
                EXPECT_EQ(memoryCommands(rig.frames), expected);
            }
        }
        EXPECT_TRUE(rig.acquisition->recorderPresent());
        EXPECT_FALSE(rig.acquisition->workerBusy());

        rig.frames.clear();
        EXPECT_EQ(runTicks(rig, 60), (std::vector<int>{15, 30, 45, 60}));
        for (const std::string& command : memoryCommands(rig.frames)) {
            EXPECT_EQ(command[0], 'R') << command; // downloads only: nothing is written
        }
        for (int code : rig.takeCodes()) {
            EXPECT_TRUE(code == 6 || code == 7) << code;
        }

        // Every record the recorder made is on the PC once.
        const int32_t number = c.another ? 1 : 0;
        EXPECT_EQ(rig.link->currentRecorder.load(), number);
        const DataFileContent data = readData(rig.dataFile(number));
        EXPECT_EQ(data.records.size(), rig.recorder->recordsMade());
        expectNoDuplicates(data.records);
        EXPECT_EQ(data.nextAddress, rig.recorder->nextRecordAddress());
        if (c.another) {
            EXPECT_TRUE(testing::readFile(rig.dataFile(0)) == firstFile);
        }
    }
}

TEST(Chain, PeriodicStepDownloadsEveryFifteenTicks) {
    ChainRig rig;
    rig.poll();
    rig.takeCodes();
    rig.clock.base.advanceMs(5 * 60 * 1000);
    for (int tick = 1; tick < 15; ++tick) {
        rig.acquisition->periodicStep();
        rig.drain();
    }
    EXPECT_TRUE(rig.takeCodes().empty());
    rig.acquisition->periodicStep();
    rig.drain();
    EXPECT_EQ(rig.takeCodes(), (Codes{6, 7}));
    const DataFileContent data = readData(rig.dataFile(0));
    ASSERT_EQ(data.records.size(), 305u);
    expectNoDuplicates(data.records);
}

TEST(Chain, CommandWithoutAWorkerIsDroppedAndFreesTheBusyFlag) {
    ChainRig rig;
    rig.acquisition->SendLoggerCommand(command::download);
    EXPECT_FALSE(rig.acquisition->workerBusy());
    EXPECT_TRUE(rig.frames.empty());
}

TEST(Chain, AnotherRecorderBetweenTwoPollsIsNeverDownloadedIntoTheFirstOnesFile) {
    ChainRig rig;
    rig.poll();
    rig.takeCodes();
    const std::string firstFile = testing::readFile(rig.dataFile(0));
    // Same place on the bus, another identity: a recorder swapped within one poll interval.
    HeaderImage other{};
    storeIdentity(other, RecorderIdentity{12 * 34, 12, 34});
    rig.recorder->write(8, other.data() + 8, 8);
    rig.acquisition->SendLoggerCommand(command::download);
    rig.drain();
    // A recorder new to this PC also gets its clock checked.
    EXPECT_EQ(rig.takeCodes(), (Codes{0, 2, 5, 6, 7, 3, 4, 6, 7}));
    EXPECT_EQ(testing::readFile(rig.dataFile(0)), firstFile);
    EXPECT_EQ(rig.link->currentRecorder.load(), 1);
    EXPECT_EQ(readData(rig.dataFile(1)).records.size(), 300u);
}

TEST(Chain, LateRegistrationWritesNoFileUntilTheRecorderIsKnown) {
    ChainRig rig;
    rig.acquisition->shared().setRegistrationBound(std::chrono::milliseconds(1));
    rig.acquisition->PollPresence();
    // The window side is slow: the worker gives up waiting and reports 5 unregistered.
    std::vector<LoggerReport> held;
    LoggerReport report;
    while (rig.reports.waitFor(report, std::chrono::seconds(10))) {
        held.push_back(report);
        if (report.code == status::connected) {
            break;
        }
    }
    ASSERT_EQ(held.size(), 3u);
    EXPECT_FALSE(fileExists(rig.dataFile(0)));
    rig.acquisition->shared().setRegistrationBound(std::chrono::seconds(10));
    for (const LoggerReport& r : held) {
        rig.acquisition->HandleLoggerStatus(r.number, r.code);
    }
    rig.drain();
    // The late registration stands; the recorder is identified again before its download.
    EXPECT_EQ(rig.takeCodes(), (Codes{0, 2, 5, 6, 7, 3, 4, 6, 7}));
    EXPECT_EQ(readMaxId(*rig.ini), 1);
    EXPECT_EQ(readData(rig.dataFile(0)).records.size(), 300u);
}

TEST(Chain, UnplugDuringTheFirstHeaderReadThenAgain) {
    ChainRig rig;
    sim::FaultPlan plan;
    plan.unplugFrame = 3;
    rig.recorder->setFaults(plan);
    rig.poll();
    EXPECT_EQ(rig.takeCodes(), (Codes{0, 7}));
    EXPECT_FALSE(rig.acquisition->workerBusy());
    EXPECT_FALSE(rig.acquisition->recorderPresent());
    EXPECT_FALSE(fileExists(rig.dataFile(0)));

    rig.recorder->plug();
    rig.poll();
    EXPECT_EQ(rig.takeCodes(), (Codes{0, 1, 5, 6, 7, 3, 4, 6, 7}));
    EXPECT_EQ(readData(rig.dataFile(0)).records.size(), 300u);
}

// The window side answers report 7 at once (the chain ends, its presence poll runs again), so a
// worker sends it only once its reconnect has decided: when it ends, its end is settled by then,
// and no window-side poll meets the worker's own presence check.
TEST(Chain, WorkerThatEndsReportsOnlyAfterItsPresenceCheck) {
    ChainRig rig;
    sim::FaultPlan plan;
    plan.unplugFrame = 3;
    rig.recorder->setFaults(plan);
    std::atomic<bool> reportedBeforeTheCheck{false};
    rig.backend->onList = [&] {
        std::vector<LoggerReport> waiting;
        LoggerReport r;
        while (rig.reports.tryTake(r)) {
            reportedBeforeTheCheck = reportedBeforeTheCheck || r.code == status::commandDone;
            waiting.push_back(r);
        }
        for (const LoggerReport& w : waiting) {
            rig.reports.postLoggerStatus(w.number, w.code);
        }
    };
    rig.acquisition->PollPresence();
    LoggerReport report;
    while (rig.reports.waitFor(report, std::chrono::seconds(10)) &&
           report.code != status::commandDone) {
    }
    ASSERT_EQ(report.code, status::commandDone);
    EXPECT_FALSE(reportedBeforeTheCheck);
    EXPECT_EQ(rig.acquisition->shared().endedWorkers.load(), 1);
    EXPECT_FALSE(rig.acquisition->recorderPresent());
    rig.acquisition->HandleLoggerStatus(report.number, report.code);
    EXPECT_FALSE(rig.acquisition->workerBusy());
    rig.acquisition->stopWorker();
    rig.backend->onList = nullptr;
}

TEST(Chain, UnplugDuringTheDownloadLosesNothing) {
    ChainRig rig;
    sim::FaultPlan plan;
    plan.unplugFrame = 60; // header 8, identity 8, header 8, then the download's units
    rig.recorder->setFaults(plan);
    rig.poll();
    EXPECT_EQ(rig.takeCodes(), (Codes{0, 1, 5, 6, 7, 7}));
    EXPECT_FALSE(rig.acquisition->workerBusy());
    const DataFileContent empty = readData(rig.dataFile(0));
    EXPECT_EQ(empty.records.size(), 0u);
    EXPECT_EQ(empty.nextAddress, 0);

    rig.recorder->plug();
    rig.poll();
    EXPECT_EQ(rig.takeCodes(), (Codes{0, 2, 5, 6, 7, 3, 4, 6, 7}));
    const DataFileContent data = readData(rig.dataFile(0));
    EXPECT_EQ(data.records.size(), 300u);
    expectNoDuplicates(data.records);
}

TEST(Chain, UnplugDuringTheHeaderReadOfADownload) {
    ChainRig rig;
    sim::FaultPlan plan;
    plan.unplugFrame = 20;
    rig.recorder->setFaults(plan);
    rig.poll();
    EXPECT_EQ(rig.takeCodes(), (Codes{0, 1, 5, 7}));
    EXPECT_EQ(readData(rig.dataFile(0)).records.size(), 0u);
    rig.recorder->plug();
    rig.poll();
    EXPECT_EQ(readData(rig.dataFile(0)).records.size(), 300u);
}

TEST(Chain, UnplugDuringTheClockLoop) {
    auto config = ChainRig::blankRecorder(300);
    config.clockOffsetSeconds = -3600;
    ChainRig rig(config);
    rig.clock.onSleep = [&](int64_t ms) {
        if (ms == kClockRecheckMs) {
            rig.recorder->unplug();
        }
    };
    rig.poll();
    rig.clock.onSleep = nullptr;
    EXPECT_EQ(rig.takeCodes(), (Codes{0, 1, 5, 6, 7, 3, 7}));
    EXPECT_FALSE(rig.acquisition->workerBusy());
    EXPECT_EQ(readData(rig.dataFile(0)).records.size(), 300u);

    rig.recorder->plug();
    rig.clock.base.advanceMs(3 * 60 * 1000);
    rig.poll();
    EXPECT_EQ(rig.takeCodes(), (Codes{0, 2, 5, 6, 7}));
    const DataFileContent data = readData(rig.dataFile(0));
    EXPECT_EQ(data.records.size(), 303u);
    expectNoDuplicates(data.records);
}

TEST(Chain, RecorderThatStaysAttachedButNeverAnswersEndsTheWorker) {
    ChainRig rig;
    rig.backend->mute = true;
    rig.poll();
    // Three identifications fail in a row; then the worker counts the recorder as gone and the
    // window side is free again instead of turning the chain for ever.
    EXPECT_EQ(rig.takeCodes(), (Codes{0, 7, 0, 7, 0, 7}));
    EXPECT_FALSE(rig.acquisition->workerBusy());
    EXPECT_FALSE(rig.acquisition->recorderPresent());
    EXPECT_EQ(rig.acquisition->shared().endedWorkers.load(), 1);

    rig.backend->mute = false; // it answers again: the next poll starts over
    rig.poll();
    EXPECT_EQ(rig.takeCodes(), (Codes{0, 1, 5, 6, 7, 3, 4, 6, 7}));
    EXPECT_EQ(readData(rig.dataFile(0)).records.size(), 300u);
}

TEST(Chain, UnansweredFrameFailsOneDownloadAndTheNextCatchesUp) {
    ChainRig rig;
    sim::FaultPlan plan;
    plan.silentFrame = 40;
    rig.recorder->setFaults(plan);
    rig.poll();
    EXPECT_EQ(rig.takeCodes(), (Codes{0, 1, 5, 6, 7, 3, 4, 6, 7}));
    EXPECT_EQ(rig.acquisition->shared().failedDownloads.load(), 1);
    EXPECT_FALSE(rig.acquisition->shared().lastDownloadFailed.load());
    const DataFileContent data = readData(rig.dataFile(0));
    EXPECT_EQ(data.records.size(), 300u);
    expectNoDuplicates(data.records);
}

TEST(Chain, WrongAcknowledgementOfTheClockLatchReconnects) {
    auto config = ChainRig::blankRecorder(300);
    config.identity = RecorderIdentity{100000, 10, 10000};
    ChainRig rig(config);
    sim::FaultPlan plan;
    plan.wrongAckFrame = 16 + 76 + 1; // two header reads and a download of 38 units, then the latch
    rig.recorder->setFaults(plan);
    rig.poll();
    const Codes codes = rig.takeCodes();
    EXPECT_EQ(std::vector<int>(codes.begin(), codes.begin() + 6), (Codes{0, 2, 5, 6, 7, 7}));
    EXPECT_EQ(codes.back(), 7);
    EXPECT_FALSE(rig.acquisition->workerBusy());
    EXPECT_TRUE(rig.acquisition->clockSetDone());
    EXPECT_EQ(readData(rig.dataFile(0)).records.size(), 300u);
}

TEST(Chain, DisagreeingReadsAreReadAgain) {
    ChainRig rig;
    sim::FaultPlan plan;
    plan.unstableReadFrame = 30;
    plan.unstableReads = 3;
    rig.recorder->setFaults(plan);
    rig.poll();
    EXPECT_EQ(rig.acquisition->shared().failedDownloads.load(), 0);
    EXPECT_EQ(readData(rig.dataFile(0)).records.size(), 300u);
}

TEST(Chain, ReadsThatNeverAgreeEndTheDownloadAndKeepTheFile) {
    ChainRig rig;
    sim::FaultPlan plan;
    plan.unstableReadFrame = 30;
    plan.unstableReads = -1;
    rig.recorder->setFaults(plan);
    rig.poll();
    EXPECT_FALSE(rig.acquisition->workerBusy());
    EXPECT_GE(rig.acquisition->shared().failedDownloads.load(), 1);
    EXPECT_EQ(readData(rig.dataFile(0)).records.size(), 0u);

    rig.recorder->setFaults(sim::FaultPlan{});
    rig.acquisition->SendLoggerCommand(command::download);
    rig.drain();
    EXPECT_EQ(readData(rig.dataFile(0)).records.size(), 300u);
}

TEST(Chain, RecorderThatNeverTakesTheTimeEndsTheClockLoop) {
    auto config = ChainRig::blankRecorder(10);
    config.clockOffsetSeconds = -3600;
    ChainRig rig(config);
    sim::FaultPlan plan;
    plan.refuseClockSettings = -1;
    rig.recorder->setFaults(plan);
    rig.poll();
    const Codes codes = rig.takeCodes();
    EXPECT_EQ(codes, (Codes{0, 1, 5, 6, 7, 3, 7}));
    EXPECT_FALSE(rig.acquisition->workerBusy());
    const auto writes = byteWrites(rig.frames);
    EXPECT_EQ(std::count(writes.begin(), writes.end(), std::pair<int, int>{16, 0x55}),
              kMaxClockPasses);
}

TEST(Chain, RecorderAheadOfThePcIsLeftAlone) {
    auto config = ChainRig::blankRecorder(10);
    config.clockOffsetSeconds = 600;
    ChainRig rig(config);
    rig.poll();
    EXPECT_EQ(rig.takeCodes(), (Codes{0, 1, 5, 6, 7, 3, 4, 6, 7}));
    EXPECT_EQ(rig.recorder->clockSettings(), 0);
}

class SettingCommand : public ::testing::Test {
protected:
    void SetUp() override {
        rig.poll();
        rig.takeCodes();
        rig.frames.clear();
    }
    std::vector<std::vector<uint8_t>> memoryWrites() const {
        std::vector<std::vector<uint8_t>> out;
        for (std::size_t i = 0; i + 4 < rig.frames.size(); ++i) {
            const Frame& f = rig.frames[i];
            if (f[0] == 0xA0 && f[4] == 0xA0) {
                std::vector<uint8_t> w = {f[1], f[2]};
                for (int k = 1; k <= 4; ++k) {
                    w.insert(w.end(), rig.frames[i + k].begin(), rig.frames[i + k].end());
                }
                out.push_back(w);
            }
        }
        return out;
    }
    ChainRig rig;
};

TEST_F(SettingCommand, FahrenheitDayMonthCircularNoSlots) {
    ConfigurationEdit edit = editFromSettings(rig.store->connectedSettings());
    edit.tempUnit = 1;
    edit.dateOrder = 1;
    edit.circular = 1;
    edit.interval = 10;
    edit.description = u"cellar";
    for (TimeSlot& s : edit.slots) {
        s.inUse = 0;
    }
    const HeaderImage before = rig.recorder->header();
    ASSERT_EQ(rig.acquisition->writeSettings(edit), 1);
    const auto writes = byteWrites(rig.frames);
    ASSERT_GE(writes.size(), 5u);
    const ByteWrites expected = {{0, 0x00}, {5, 0xFF}, {240, 0x02}, {1, 0x0A}, {4, 0x00}};
    EXPECT_EQ(ByteWrites(writes.begin(), writes.begin() + 5), expected);
    const auto blocks = memoryWrites();
    ASSERT_EQ(blocks.size(), 4u);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(blocks[k][0] * 256 + blocks[k][1], 48 + 16 * k);
        for (int i = 0; i < 12; ++i) {
            EXPECT_EQ(blocks[k][2 + i], 0xFF) << k << ":" << i;
        }
        // What the system does not define is sent back as the recorder had it.
        for (int i = 14; i < 32 && 48 + 16 * k + i < 128; ++i) {
            EXPECT_EQ(blocks[k][2 + i], before[48 + 16 * k + i]) << k << ":" << i;
        }
    }
    const RecorderSettings after = rig.store->connectedSettings();
    EXPECT_EQ(after.tempUnit, 1);
    EXPECT_EQ(after.interval, 10);
    EXPECT_EQ(after.description, u"cellar");
    EXPECT_FALSE(rig.acquisition->workerBusy()); // the clock was set already: no command
}

TEST_F(SettingCommand, CelsiusMonthDayLinearWithOneSlot) {
    ConfigurationEdit edit = editFromSettings(rig.store->connectedSettings());
    edit.tempUnit = 0;
    edit.dateOrder = 0;
    edit.circular = 0;
    edit.interval = 240;
    for (TimeSlot& s : edit.slots) {
        s.inUse = 0;
    }
    edit.slots[0].inUse = 1;
    edit.slots[0].start = DateTime::fromFields(2011, 7, 1, 8, 0, 0);
    edit.slots[0].end = DateTime::fromFields(2011, 7, 1, 18, 30, 0);
    const RecorderSettings before = rig.store->connectedSettings();
    ASSERT_EQ(rig.acquisition->writeSettings(edit), 1);
    const auto writes = byteWrites(rig.frames);
    const ByteWrites expected = {{0, 0xFF}, {5, 0x00}, {240, 0x00}, {1, 0xF0}, {4, 0x01}};
    EXPECT_EQ(ByteWrites(writes.begin(), writes.begin() + 5), expected);
    const auto blocks = memoryWrites();
    ASSERT_EQ(blocks.size(), 4u);
    const std::vector<uint8_t> slot0 = {0x00,
                                        0x30,
                                        0x0B,
                                        0x07,
                                        0x01,
                                        0x08,
                                        0x00,
                                        0x0B,
                                        0x07,
                                        0x01,
                                        0x12,
                                        0x1E,
                                        0xFF,
                                        0xFF,
                                        static_cast<uint8_t>(before.slots[0].firstBlock),
                                        static_cast<uint8_t>(before.slots[0].lastBlock)};
    EXPECT_EQ(std::vector<uint8_t>(blocks[0].begin(), blocks[0].begin() + 16), slot0);
    const RecorderSettings after = rig.store->connectedSettings();
    EXPECT_EQ(after.slotsInUse, 1);
    EXPECT_EQ(after.slots[0].inUse, 1);
    EXPECT_EQ(after.slots[0].start, DateTime::fromFields(2011, 7, 1, 8, 0, 0));
}

TEST(SettingWithoutCircularMode, RecorderWithoutCircularModeIsWrittenBack0xFF) {
    auto config = ChainRig::blankRecorder(10);
    config.circularMode = 0xFF;
    ChainRig rig(config);
    rig.poll();
    rig.frames.clear();
    ConfigurationEdit edit = editFromSettings(rig.store->connectedSettings());
    EXPECT_EQ(edit.circular, 255);
    rig.acquisition->writeSettings(edit);
    const auto writes = byteWrites(rig.frames);
    EXPECT_NE(std::find(writes.begin(), writes.end(), std::pair<int, int>{240, 0xFF}),
              writes.end());
    EXPECT_EQ(rig.store->connectedSettings().circularMode, 255);
}

TEST(SettingBeforeTheClock, SettingOnAFreshConnectionSetsTheClockAfterwards) {
    ChainRig rig;
    rig.acquisition->setHoldAfterConnect(true);
    rig.poll();
    EXPECT_EQ(rig.takeCodes(), (Codes{0, 1, 5}));
    rig.acquisition->setHoldAfterConnect(false);
    ConfigurationEdit edit = editFromSettings(rig.store->connectedSettings());
    edit.interval = 5;
    ASSERT_EQ(rig.acquisition->writeSettings(edit), 1);
    EXPECT_TRUE(rig.acquisition->workerBusy());
    rig.drain();
    EXPECT_EQ(rig.takeCodes(), (Codes{3, 4, 6, 7}));
    EXPECT_EQ(rig.recorder->header()[header::interval], 5);
    EXPECT_EQ(readData(rig.dataFile(0)).settings.interval, 5);
}

} // namespace
} // namespace veldrin

namespace veldrin {
namespace {

// With a damaged main.ini a new recorder is not registered: no identity is written into it, no
// data file is made, main.ini stays as it is, and the failure is counted and said.
TEST(Chain, ADamagedRegistryRegistersNoRecorderAndWritesNoFile) {
    ChainRig rig;
    const std::string damaged = "[Drive ID]\nID0000003=4,2,2\n"; // no MaxID beside an entry
    testing::writeFile(rig.dir.file("main.ini"), damaged);
    rig.poll();
    EXPECT_FALSE(identityFromHeader(rig.recorder->header()).isValid());
    EXPECT_EQ(rig.iniText(), damaged);
    EXPECT_FALSE(fileExists(rig.dataFile(3)));
    EXPECT_FALSE(fileExists(rig.dataFile(4)));
    EXPECT_GT(rig.store->failedWrites(), 0);
}

} // namespace
} // namespace veldrin
