// The recorder link's protocol run against three recorders that must behave alike: the software
// recorder in this process (sim backend), the veldrin-recorder-sim program over its socket, and a
// fake written straight from the protocol. The socket runs in real time: the cases that wait for
// a read time-out cost 1.2 s each there.

#include "fake_recorder.h"
#ifndef _WIN32
#include "sim_process.h"
#endif

#include "device/logger_link.h"
#include "sim/sim_backend.h"
#include "sim/software_recorder.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>

namespace veldrin {
namespace {

using sim::FaultPlan;

struct Scenario {
    std::optional<RecorderIdentity> identity;
    std::optional<uint8_t> headerFill;
    uint16_t release = kRecorderRelease;
    FaultPlan faults;
};

class RecorderHarness {
public:
    virtual ~RecorderHarness() = default;
    virtual HidBackend& backend() = 0;
    // Every host frame the recorder has seen so far, waiting for at least `count` where the
    // recorder is in another process.
    virtual std::vector<Frame> framesSeen(std::size_t count) = 0;
};

class SimHarness final : public RecorderHarness {
public:
    explicit SimHarness(const Scenario& s) {
        sim::RecorderConfig config;
        config.identity = s.identity;
        config.headerFill = s.headerFill;
        config.attributes.release = s.release;
        recorder_ = std::make_shared<sim::SoftwareRecorder>(config, clock_);
        recorder_->setFaults(s.faults);
        backend_ = sim::makeSimBackend(recorder_);
    }
    HidBackend& backend() override { return *backend_; }
    std::vector<Frame> framesSeen(std::size_t) override { return recorder_->recentFrames(); }

private:
    ManualClock clock_;
    std::shared_ptr<sim::SoftwareRecorder> recorder_;
    std::unique_ptr<HidBackend> backend_;
};

#ifndef _WIN32
class SocketHarness final : public RecorderHarness {
public:
    explicit SocketHarness(const Scenario& s) {
        const std::string path = dir_.file("r.sock");
        std::vector<std::string> args = {"--socket", path, "--trace"};
        auto add = [&args](const char* name, uint64_t value) {
            if (value != 0) {
                args.insert(args.end(), {name, std::to_string(value)});
            }
        };
        if (s.identity) {
            args.insert(args.end(), {"--identity", std::to_string(s.identity->product) + "/" +
                                                       std::to_string(s.identity->high) + "/" +
                                                       std::to_string(s.identity->low)});
        }
        if (s.headerFill) {
            args.insert(args.end(), {"--header-fill", std::to_string(*s.headerFill)});
        }
        args.insert(args.end(), {"--release", std::to_string(s.release)});
        add("--silent-frame", s.faults.silentFrame);
        add("--wrong-ack-frame", s.faults.wrongAckFrame);
        add("--short-report-frame", s.faults.shortReportFrame);
        add("--short-report-length",
            s.faults.shortReportFrame != 0 ? s.faults.shortReportLength : 0);
        add("--hang-up-frame", s.faults.hangUpFrame);
        add("--unplug-frame", s.faults.unplugFrame);
        std::string error;
        started_ = process_.start(args, error);
        EXPECT_TRUE(started_) << error;
        backend_ = makeSocketBackend(path);
    }
    HidBackend& backend() override { return *backend_; }
    std::vector<Frame> framesSeen(std::size_t count) override { return process_.frames(count); }

private:
    testing::TempDir dir_;
    testing::SimProcess process_;
    bool started_ = false;
    std::unique_ptr<HidBackend> backend_;
};
#endif

class FakeHarness final : public RecorderHarness {
public:
    explicit FakeHarness(const Scenario& s)
        : state_(std::make_shared<testing::FakeRecorderState>()) {
        std::fill(state_->memory.begin(), state_->memory.begin() + kHeaderSize,
                  s.headerFill.value_or(0xFF));
        if (!s.headerFill) {
            state_->memory[header::versionMajor] = 1;
            state_->memory[header::versionMinor] = 0;
            if (s.identity) {
                for (const auto& [address, value] : identityWrites(*s.identity)) {
                    state_->memory[address] = value;
                }
            }
        }
        state_->attributes.release = s.release;
        state_->faults = s.faults;
        backend_ = std::make_unique<testing::FakeRecorderBackend>(state_);
    }
    HidBackend& backend() override { return *backend_; }
    std::vector<Frame> framesSeen(std::size_t) override { return state_->seen; }

private:
    std::shared_ptr<testing::FakeRecorderState> state_;
    std::unique_ptr<HidBackend> backend_;
};

enum class Kind { sim, socket, fake };

std::string kindName(const ::testing::TestParamInfo<Kind>& info) {
    switch (info.param) {
    case Kind::sim:
        return "Sim";
    case Kind::socket:
        return "Socket";
    case Kind::fake:
        return "Fake";
    }
    return "Unknown";
}

const RecorderIdentity kIdentity{100000, 10, 10000};

Scenario identified() {
    Scenario s;
    s.identity = kIdentity;
    return s;
}

class RecorderProtocol : public ::testing::TestWithParam<Kind> {
protected:
    RecorderHarness& start(const Scenario& s = identified()) {
        link_.reset();
        harness_.reset();
        switch (GetParam()) {
        case Kind::sim:
            harness_ = std::make_unique<SimHarness>(s);
            break;
        case Kind::socket:
#ifdef _WIN32
            break; // not instantiated there
#else
            harness_ = std::make_unique<SocketHarness>(s);
            break;
#endif
        case Kind::fake:
            harness_ = std::make_unique<FakeHarness>(s);
            break;
        }
        link_ = std::make_unique<LoggerLink>(harness_->backend());
        return *harness_;
    }
    LoggerLink& link() {
        return *link_;
    }
    HidBackend& harnessBackend() {
        return harness_->backend();
    }
    std::vector<Frame> frames(std::size_t count) {
        return harness_->framesSeen(count);
    }

    // Keeps the link (it may hold a connection) from outliving the recorder it talks to.
    void TearDown() override {
        link_.reset();
        harness_.reset();
    }

private:
    std::unique_ptr<RecorderHarness> harness_;
    std::unique_ptr<LoggerLink> link_;
};

Frame frameOf(std::initializer_list<uint8_t> bytes) {
    Frame f{};
    std::copy(bytes.begin(), bytes.end(), f.begin());
    return f;
}

void fillPattern(uint8_t (&data)[32], uint8_t seed) {
    for (int i = 0; i < 32; ++i) {
        data[i] = static_cast<uint8_t>(seed + i * 7);
    }
}

// ----- the three commands ----------------------------------------------------------------------

TEST_P(RecorderProtocol, WriteThenReadThirtyTwoBytesWithTheExactFrames) {
    start();
    uint8_t written[32];
    fillPattern(written, 0x11);
    ASSERT_EQ(link().WriteMemory(0x1234, written), 1);
    uint8_t read[32] = {};
    ASSERT_EQ(link().ReadMemory(0x1234, read), 1);
    EXPECT_EQ(std::memcmp(read, written, 32), 0);

    const std::vector<Frame> seen = frames(6);
    ASSERT_EQ(seen.size(), 6u);
    EXPECT_EQ(seen[0], frameOf({0xA0, 0x12, 0x34, 0x20, 0xA0, 0x00, 0x00, 0x20}));
    for (int part = 0; part < 4; ++part) {
        Frame data{};
        std::copy(written + part * 8, written + part * 8 + 8, data.begin());
        EXPECT_EQ(seen[static_cast<std::size_t>(1 + part)], data) << "data frame " << part;
    }
    EXPECT_EQ(seen[5], frameOf({0xA1, 0x12, 0x34, 0x20, 0xA1, 0x00, 0x00, 0x20}));
}

TEST_P(RecorderProtocol, WriteByteIsAcknowledgedAndStored) {
    start();
    ASSERT_EQ(link().WriteByte(16, 0x55), 1);
    ASSERT_EQ(link().WriteByte(0x2000, 0x42), 1);
    uint8_t unit[32];
    ASSERT_EQ(link().ReadMemory(0, unit), 1);
    EXPECT_EQ(unit[16], 0x55);
    ASSERT_EQ(link().ReadMemory(0x2000, unit), 1);
    EXPECT_EQ(unit[0], 0x42);

    const std::vector<Frame> seen = frames(2);
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[0], frameOf({0xA2, 0x00, 0x10, 0x20, 0xA2, 0x55, 0x00, 0x20}));
    EXPECT_EQ(seen[1], frameOf({0xA2, 0x20, 0x00, 0x20, 0xA2, 0x42, 0x00, 0x20}));
}

TEST_P(RecorderProtocol, SlotWriteAtFortyEightUsesTheWriteCommand) {
    start();
    uint8_t slot[32];
    std::fill(slot, slot + 32, 0xFF);
    const uint8_t times[] = {0x0B, 0x07, 0x01, 0x08, 0x00, 0x0B, 0x07, 0x01, 0x12, 0x1E};
    std::copy(times, times + 10, slot);
    ASSERT_EQ(link().WriteMemory(48, slot), 1);
    EXPECT_EQ(frames(1).at(0), frameOf({0xA0, 0x00, 0x30, 0x20, 0xA0, 0x00, 0x00, 0x20}));
    HeaderBytes h{};
    ASSERT_EQ(link().ReadHeader(h), 1);
    EXPECT_TRUE(std::equal(times, times + 10, h.begin() + 48));
}

TEST_P(RecorderProtocol, WrongAcknowledgementFailsAWriteThatWasCarriedOut) {
    Scenario s = identified();
    s.faults.wrongAckFrame = 1;
    start(s);
    EXPECT_EQ(link().WriteByte(0x3000, 0x07), 0);
    uint8_t unit[32];
    ASSERT_EQ(link().ReadMemory(0x3000, unit), 1);
    EXPECT_EQ(unit[0], 0x07);
    EXPECT_EQ(link().WriteByte(0x3001, 0x08), 1); // only that one acknowledgement was wrong
}

// ----- failures --------------------------------------------------------------------------------

TEST_P(RecorderProtocol, ReadHeaderStopsAtItsFirstFailure) {
    Scenario s = identified();
    s.faults.silentFrame = 5; // the fifth read is not answered
    start(s);
    HeaderBytes h;
    h.fill(0xEE);
    EXPECT_EQ(link().ReadHeader(h), 0);
    EXPECT_EQ(identityFromHeader(h), kIdentity); // bytes 0 to 127 arrived
    EXPECT_EQ(h[header::versionMajor], 1);
    EXPECT_TRUE(std::all_of(h.begin() + 128, h.end(), [](uint8_t b) { return b == 0xEE; }));
    const std::vector<Frame> seen = frames(5);
    ASSERT_EQ(seen.size(), 5u);
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(seen[static_cast<std::size_t>(k)],
                  commandFrame(RecorderCommand::read32, static_cast<uint16_t>(32 * k)));
    }
    EXPECT_EQ(link().ReadHeader(h), 1); // the recorder answers the next command again
}

TEST_P(RecorderProtocol, ReadTimeOutLeavesTheDestinationUntouched) {
    Scenario s = identified();
    s.faults.silentFrame = 1;
    start(s);
    uint8_t unit[32];
    std::fill(unit, unit + 32, 0x5A);
    EXPECT_EQ(link().ReadMemory(0, unit), 0);
    EXPECT_TRUE(std::all_of(unit, unit + 32, [](uint8_t b) { return b == 0x5A; }));
}

TEST_P(RecorderProtocol, AFrameThatIsNoCommandIsNotAnsweredAndCausesNoHarm) {
    start();
    EXPECT_EQ(link().WriteFrame(frameOf({0xA1, 0x00, 0x00, 0x21, 0xA1, 0x00, 0x00, 0x20})), 1);
    Frame answer{};
    EXPECT_EQ(link().ReadFrame(answer), 0);
    uint8_t unit[32];
    ASSERT_EQ(link().ReadMemory(0, unit), 1);
    EXPECT_EQ(unit[header::versionMajor], 1);
}

TEST_P(RecorderProtocol, ShortInputReportReadsAsZerosWhereUnfilled) {
    Scenario s = identified();
    s.faults.shortReportFrame = 1;
    s.faults.shortReportLength = 5; // report ID and frame bytes 0 to 3
    start(s);
    uint8_t unit[32];
    ASSERT_EQ(link().ReadMemory(0, unit), 1);
    EXPECT_EQ(unit[header::versionMajor], 0);
    EXPECT_EQ(unit[8], static_cast<uint8_t>(kIdentity.product >> 24));
    uint8_t again[32];
    ASSERT_EQ(link().ReadMemory(0, again), 1);
    EXPECT_EQ(again[header::versionMajor], 1);
}

TEST_P(RecorderProtocol, ConnectionCutInAReportFailsThatHandleOnly) {
    Scenario s = identified();
    s.faults.hangUpFrame = 1;
    start(s);
    uint8_t unit[32];
    std::fill(unit, unit + 32, 0x5A);
    EXPECT_EQ(link().ReadMemory(0, unit), 0);
    EXPECT_EQ(unit[0], 0x5A);
    EXPECT_EQ(link().ReadMemory(0, unit), 0); // the handle is gone
    ASSERT_EQ(link().CheckPresence(), 1);     // a new one works
    ASSERT_EQ(link().ReadMemory(0, unit), 1);
    EXPECT_EQ(unit[header::versionMajor], 1);
}

TEST_P(RecorderProtocol, UnplugEndsTransfersAndPresence) {
    Scenario s = identified();
    s.faults.unplugFrame = 2;
    start(s);
    uint8_t unit[32];
    ASSERT_EQ(link().ReadMemory(0, unit), 1);
    EXPECT_EQ(link().ReadMemory(32, unit), 0);
    EXPECT_EQ(link().WriteByte(0x2000, 1), 0);
    EXPECT_EQ(link().CheckPresence(), 0);
    EXPECT_FALSE(link().hasDevice());
    EXPECT_EQ(link().ReadMemory(0, unit), 0);
}

// ----- identity and presence -------------------------------------------------------------------

TEST_P(RecorderProtocol, IdentityGivenOrBlank) {
    start();
    HeaderBytes h{};
    ASSERT_EQ(link().ReadHeader(h), 1);
    EXPECT_TRUE(identityFromHeader(h).isValid());
    EXPECT_EQ(identityFromHeader(h), kIdentity);

    start(Scenario{});
    ASSERT_EQ(link().ReadHeader(h), 1);
    EXPECT_FALSE(identityFromHeader(h).isValid());
}

TEST_P(RecorderProtocol, HeaderFullOfOnesOrZerosHasNoIdentity) {
    for (const uint8_t fill : {uint8_t{0xFF}, uint8_t{0x00}}) {
        Scenario s;
        s.headerFill = fill;
        start(s);
        HeaderBytes h{};
        ASSERT_EQ(link().ReadHeader(h), 1);
        EXPECT_TRUE(std::all_of(h.begin(), h.end(), [fill](uint8_t b) { return b == fill; }));
        EXPECT_FALSE(identityFromHeader(h).isValid()) << int{fill};
    }
}

TEST_P(RecorderProtocol, AnotherReleaseIsNotTheRecorder) {
    Scenario s = identified();
    s.release = 0x0101;
    start(s);
    EXPECT_FALSE(link().hasDevice());
    EXPECT_EQ(link().CheckPresence(), 0);
    uint8_t unit[32];
    EXPECT_EQ(link().ReadMemory(0, unit), 0);
}

TEST_P(RecorderProtocol, TwoHandlesAreServedIndependently) {
    start();
    LoggerLink other(harnessBackend());
    ASSERT_TRUE(other.hasDevice());
    uint8_t data[32];
    fillPattern(data, 0x30);
    // One handle is in the middle of a write when the other reads.
    ASSERT_EQ(link().WriteFrame(commandFrame(RecorderCommand::write32, 0x4000)), 1);
    for (int part = 0; part < 2; ++part) {
        Frame f{};
        std::copy(data + part * 8, data + part * 8 + 8, f.begin());
        ASSERT_EQ(link().WriteFrame(f), 1);
    }
    uint8_t unit[32];
    ASSERT_EQ(other.ReadMemory(0x4000, unit), 1);
    EXPECT_EQ(unit[0], 0xFF);
    for (int part = 2; part < 4; ++part) {
        Frame f{};
        std::copy(data + part * 8, data + part * 8 + 8, f.begin());
        ASSERT_EQ(link().WriteFrame(f), 1);
    }
    Frame ack{};
    ASSERT_EQ(link().ReadFrame(ack), 1);
    EXPECT_TRUE(isAcknowledgement(ack));
    ASSERT_EQ(other.ReadMemory(0x4000, unit), 1);
    EXPECT_EQ(std::memcmp(unit, data, 32), 0);
}

// The answer delay: every host frame waits for it on the recorder's clock, and nothing else does.
TEST(AnswerDelay, EachHostFrameIsAnsweredThatMuchLater) {
    for (const int64_t delay : {0, 1, 7}) {
        ManualClock clock;
        sim::RecorderConfig config;
        config.answerDelayMs = delay;
        auto recorder = std::make_shared<sim::SoftwareRecorder>(config, clock);
        const std::unique_ptr<HidBackend> backend = sim::makeSimBackend(recorder);
        LoggerLink link(*backend);
        uint8_t unit[32] = {};
        const int64_t before = clock.steadyMs();
        ASSERT_EQ(link.ReadMemory(0x0100, unit), 1);
        ASSERT_EQ(link.WriteByte(0x0101, 0x05), 1);
        EXPECT_EQ(clock.steadyMs() - before,
                  delay * static_cast<int64_t>(recorder->framesReceived()))
            << delay;
    }
}

#ifdef _WIN32
INSTANTIATE_TEST_SUITE_P(Backends, RecorderProtocol, ::testing::Values(Kind::sim, Kind::fake),
                         kindName);

TEST(SkippedOnWindows, SocketBackendProtocol) {
    GTEST_SKIP() << "the socket backend and veldrin-recorder-sim are built on POSIX systems only";
}
#else
INSTANTIATE_TEST_SUITE_P(Backends, RecorderProtocol,
                         ::testing::Values(Kind::sim, Kind::socket, Kind::fake), kindName);
#endif

} // namespace
} // namespace veldrin
