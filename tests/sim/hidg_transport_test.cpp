// The USB gadget transport, with a packet socket pair in place of the gadget's device file (one
// read, one report, as with /dev/hidgN) and a plain file in place of its UDC file: reports without
// their ID, short and cut answers, and the gadget's binding following the recorder's presence and
// the other way round. Also the simulator's options for the gadget and the counting series that
// lets a host's history be checked record by record.

#include "device/logger_header.h"
#include "sim/hidg_transport.h"
#include "sim/sim_options.h"
#include "sim/software_recorder.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace veldrin::sim {
namespace {

constexpr int kWaitMs = 3000; // bound of every wait for the transport's thread
constexpr const char* kController = "dummy_udc.0";

// Every open of the device file makes a new pair and keeps the host's end for the test.
class FakeGadgetFile {
public:
    ~FakeGadgetFile() {
        for (int fd : hostEnds_) {
            ::close(fd);
        }
    }

    std::function<int(const std::string&)> opener() {
        return [this](const std::string&) { return open(); };
    }

    void refuseOpens(bool refuse) {
        std::lock_guard lock(mutex_);
        refuse_ = refuse;
    }

    // The host's end of open number `n` (from 1), once the transport has made it.
    int host(int n) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::milliseconds(kWaitMs),
                          [&] { return static_cast<int>(hostEnds_.size()) >= n; });
        return static_cast<int>(hostEnds_.size()) >= n ? hostEnds_[static_cast<std::size_t>(n - 1)]
                                                       : -1;
    }

private:
    int open() {
        std::lock_guard lock(mutex_);
        if (refuse_) {
            errno = ENOENT;
            return -1;
        }
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
            return -1;
        }
        ::fcntl(pair[0], F_SETFL, O_NONBLOCK); // the transport's end, as it opens the gadget
        hostEnds_.push_back(pair[1]);
        changed_.notify_all();
        return pair[0];
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<int> hostEnds_;
    bool refuse_ = false;
};

void sendFrame(int fd, const Frame& frame) {
    ASSERT_EQ(::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(frame.size()));
}

// One report from the gadget: its length, 0 when the transport closed the file, -1 on time-out.
int receiveReport(int fd, uint8_t (&out)[64], int timeoutMs = kWaitMs) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) {
        return -1;
    }
    return static_cast<int>(::recv(fd, out, sizeof out, 0));
}

// Reads 32 bytes at `address` over the gadget as the host's driver would: four 8-byte reports.
std::vector<uint8_t> readUnit(int fd, uint16_t address) {
    sendFrame(fd, commandFrame(RecorderCommand::read32, address));
    std::vector<uint8_t> unit;
    for (int part = 0; part < 4; ++part) {
        uint8_t report[64];
        const int n = receiveReport(fd, report);
        EXPECT_EQ(n, 8) << "part " << part;
        if (n != 8) {
            return {};
        }
        unit.insert(unit.end(), report, report + 8);
    }
    return unit;
}

std::vector<uint8_t> memoryAt(SoftwareRecorder& recorder, uint16_t address) {
    std::vector<uint8_t> unit(32);
    recorder.read(address, unit.data(), unit.size());
    return unit;
}

class GadgetServing : public ::testing::Test {
protected:
    void SetUp() override {
        RecorderConfig c;
        c.identity = RecorderIdentity{100000, 10, 10000};
        c.preloadRecords = 100;
        recorder = std::make_shared<SoftwareRecorder>(c, clock);
        testing::writeFile(udcFile, std::string(kController) + "\n");
    }

    void start(bool withUdcFile = true) {
        transport = std::make_unique<HidgTransport>(
            recorder, HidgSettings{"/dev/hidg-test", withUdcFile ? udcFile : "", file.opener()});
        std::string error;
        ASSERT_TRUE(transport->start(error)) << error;
    }

    std::string binding() { return testing::readFile(udcFile); }

    testing::TempDir dir;
    std::string udcFile = dir.file("UDC");
    ManualClock clock;
    std::shared_ptr<SoftwareRecorder> recorder;
    FakeGadgetFile file;
    std::unique_ptr<HidgTransport> transport;
};

TEST_F(GadgetServing, ReportsTravelWithoutTheirId) {
    start();
    const int host = file.host(1);
    ASSERT_GE(host, 0);
    EXPECT_EQ(readUnit(host, 0), memoryAt(*recorder, 0));
    EXPECT_EQ(readUnit(host, 256), memoryAt(*recorder, 256));
    sendFrame(host, commandFrame(RecorderCommand::writeByte, 1, 5));
    uint8_t ack[64];
    ASSERT_EQ(receiveReport(host, ack), 8);
    EXPECT_TRUE(
        isAcknowledgement(Frame{ack[0], ack[1], ack[2], ack[3], ack[4], ack[5], ack[6], ack[7]}));
    EXPECT_EQ(recorder->header()[1], 5);
}

TEST_F(GadgetServing, ShortAndCutAnswersAndANewExchangeAfterTheCut) {
    FaultPlan plan;
    plan.shortReportFrame = 1;
    plan.shortReportLength = 5; // report ID and four bytes
    plan.hangUpFrame = 2;
    recorder->setFaults(plan);
    start();
    const int host = file.host(1);
    ASSERT_GE(host, 0);
    sendFrame(host, commandFrame(RecorderCommand::read32, 0));
    uint8_t report[64];
    EXPECT_EQ(receiveReport(host, report), 4);
    for (int part = 1; part < 4; ++part) {
        EXPECT_EQ(receiveReport(host, report), 8);
    }
    // The cut answer goes out as its first bytes; the rest of that exchange is gone, and the
    // next command is served whole.
    sendFrame(host, commandFrame(RecorderCommand::read32, 32));
    EXPECT_EQ(receiveReport(host, report), 4);
    EXPECT_EQ(readUnit(host, 64), memoryAt(*recorder, 64));
}

TEST_F(GadgetServing, UnplugTakesTheGadgetOffTheBusAtItsFrameAndReplugBindsItAgain) {
    FaultPlan plan;
    plan.unplugFrame = 2;
    recorder->setFaults(plan);
    start();
    const int host = file.host(1);
    ASSERT_GE(host, 0);
    EXPECT_FALSE(readUnit(host, 0).empty());
    sendFrame(host, commandFrame(RecorderCommand::read32, 32));
    uint8_t report[64];
    EXPECT_EQ(receiveReport(host, report), 0) << "no answer; the device file is closed";
    EXPECT_EQ(binding(), "\n");
    EXPECT_FALSE(recorder->plugged());

    recorder->plug();
    const int again = file.host(2);
    ASSERT_GE(again, 0) << "the device file is opened anew once the gadget is bound";
    EXPECT_EQ(binding(), std::string(kController) + "\n");
    EXPECT_EQ(readUnit(again, 32), memoryAt(*recorder, 32));
}

TEST_F(GadgetServing, AGadgetBoundAgainFromOutsidePlugsTheRecorderIn) {
    start();
    const int host = file.host(1);
    ASSERT_GE(host, 0);
    recorder->unplug();
    uint8_t report[64];
    EXPECT_EQ(receiveReport(host, report), 0);
    EXPECT_EQ(binding(), "\n");

    testing::writeFile(udcFile, std::string(kController) + "\n");
    const int again = file.host(2);
    ASSERT_GE(again, 0);
    EXPECT_TRUE(recorder->plugged());
    EXPECT_EQ(readUnit(again, 0), memoryAt(*recorder, 0));
}

TEST_F(GadgetServing, AGadgetUnboundFromOutsideIsServedAgainOnceBound) {
    start();
    const int host = file.host(1);
    ASSERT_GE(host, 0);
    file.refuseOpens(true); // the device node is gone while the gadget is unbound
    testing::writeFile(udcFile, "\n");
    uint8_t report[64];
    EXPECT_EQ(receiveReport(host, report), 0);
    EXPECT_TRUE(recorder->plugged()) << "leaving the bus from outside is not an unplug";

    testing::writeFile(udcFile, std::string(kController) + "\n");
    file.refuseOpens(false); // the node comes a moment after the binding
    const int again = file.host(2);
    ASSERT_GE(again, 0);
    EXPECT_EQ(readUnit(again, 0), memoryAt(*recorder, 0));
    EXPECT_EQ(transport->openCount(), 2);
}

TEST_F(GadgetServing, WithoutAUdcFileAnUnpluggedRecorderTakesFramesSilently) {
    std::mutex mutex;
    std::condition_variable taken;
    uint64_t frames = 0;
    recorder->setFrameObserver([&](const Frame&) {
        std::lock_guard lock(mutex);
        ++frames;
        taken.notify_all();
    });
    FaultPlan plan;
    plan.unplugFrame = 1;
    recorder->setFaults(plan);
    start(false);
    const int host = file.host(1);
    ASSERT_GE(host, 0);
    sendFrame(host, commandFrame(RecorderCommand::read32, 0));
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(
            taken.wait_for(lock, std::chrono::milliseconds(kWaitMs), [&] { return frames == 1; }));
    }
    recorder->plug();
    // The frame sent while unplugged was taken and not answered: the first answers to come are
    // those of the read sent after the plug.
    EXPECT_EQ(readUnit(host, 32), memoryAt(*recorder, 32));
    uint8_t report[64];
    EXPECT_EQ(::recv(host, report, sizeof report, MSG_DONTWAIT), -1);
    EXPECT_EQ(testing::readFile(udcFile), std::string(kController) + "\n");
}

TEST_F(GadgetServing, StartNeedsABoundGadgetAndItsDeviceFile) {
    testing::writeFile(udcFile, "\n");
    HidgTransport unbound(recorder, HidgSettings{"/dev/hidg-test", udcFile, file.opener()});
    std::string error;
    EXPECT_FALSE(unbound.start(error));
    EXPECT_NE(error.find("not bound"), std::string::npos) << error;

    HidgTransport missing(recorder, HidgSettings{dir.file("none"), "", {}});
    EXPECT_FALSE(missing.start(error));
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
}

TEST(GadgetOptions, TheGadgetAloneIsEnoughAndItsUdcFileNeedsIt) {
    SimProgramOptions o;
    std::string error;
    ASSERT_TRUE(parseSimOptions({"--hidg", "/dev/hidg0", "--udc-file", "/cfg/UDC"}, o, error))
        << error;
    EXPECT_EQ(o.hidgPath, "/dev/hidg0");
    EXPECT_EQ(o.udcFile, "/cfg/UDC");
    EXPECT_TRUE(o.socketPath.empty());
    EXPECT_FALSE(parseSimOptions({"--socket", "s", "--udc-file", "/cfg/UDC"}, o, error));
    EXPECT_NE(error.find("--hidg"), std::string::npos) << error;
    EXPECT_FALSE(parseSimOptions({"--records", "5"}, o, error));
    EXPECT_NE(error.find("--hidg"), std::string::npos) << error;
    EXPECT_FALSE(parseSimOptions({"--hidg", "/dev/hidg0", "--series", "curve"}, o, error));
}

TEST(CountingSeries, EveryRecordInMemoryNamesItsPlaceInTheRecording) {
    SimProgramOptions o;
    std::string error;
    ASSERT_TRUE(
        parseSimOptions({"--hidg", "g", "--series", "counting", "--records", "40000"}, o, error))
        << error;
    ManualClock clock;
    SoftwareRecorder recorder(o.config, clock);
    ASSERT_TRUE(recorder.wrapped());
    // After 40,000 records the memory holds places 23,680 to 39,999, the oldest right after the
    // newest: every value of the series survives the recorder's encoding and the host's decoding.
    const std::vector<uint8_t> memory = recorder.memory();
    const int newest = recorder.nextRecordAddress() - kRecordSize;
    int64_t expected = 40000 - kRecordCapacity;
    for (int k = 0; k < kRecordCapacity; ++k) {
        const int address = kRecordAreaStart + (newest - kRecordAreaStart + kRecordSize * (k + 1)) %
                                                   (kMemorySize - kRecordAreaStart);
        const DeviceRecord r = decodeRecord(memory.data() + address);
        ASSERT_TRUE(r.plausible) << address;
        ASSERT_EQ(countingIndex(r.raw, r.humidity), expected++) << address;
    }
    EXPECT_EQ(countingIndex(kCountingRawSteps, 1), -1);
    EXPECT_EQ(countingIndex(0, 0), -1);
    EXPECT_EQ(countingIndex(0, kCountingHumiditySteps + 1), -1);
}

} // namespace
} // namespace veldrin::sim
