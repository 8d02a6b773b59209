// The recorder link over a scripted backend: device search, presence, frames and the memory
// commands, down to the exact bytes on the wire.

#include "device/logger_link.h"
#include "support/fake_hid.h"

#include <gtest/gtest.h>

namespace veldrin {
namespace {

using testing::FakeBackend;
using testing::frameReport;
using testing::Report;

Report wire(std::initializer_list<uint8_t> frame) {
    Report r{};
    std::copy(frame.begin(), frame.end(), r.begin() + 1);
    return r;
}

const std::vector<uint8_t> kAck = frameReport({0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5});

TEST(FindRecorder, NoDeviceMeansNoHandleAndNoIo) {
    FakeBackend backend;
    LoggerLink link(backend);
    EXPECT_EQ(link.FindRecorder(), nullptr);
    EXPECT_EQ(link.CheckPresence(), 0);
    Frame frame{};
    EXPECT_EQ(link.WriteFrame(frame), 0);
    EXPECT_EQ(link.ReadFrame(frame), 0);
    backend.enumerationFails = true;
    EXPECT_EQ(link.CheckPresence(), 0);
}

TEST(FindRecorder, SkipsWrongReleaseAndUnopenableInterfaces) {
    FakeBackend backend;
    auto wrongRelease = backend.add("a");
    wrongRelease->attributes.release = 0x0101;
    auto closed = backend.add("b");
    closed->opens = false;
    auto otherProduct = backend.add("c");
    otherProduct->attributes.productId = 0x8022;
    auto recorder = backend.add("d");
    LoggerLink link(backend);
    EXPECT_TRUE(link.hasDevice());
    EXPECT_EQ(recorder->opened, 1);
    // Interfaces that are not the recorder are closed again at once.
    EXPECT_EQ(wrongRelease->alive, 0);
    EXPECT_EQ(otherProduct->alive, 0);
    EXPECT_EQ(recorder->alive, 1);
}

TEST(FindRecorder, AttributesFailingEndsTheWholeSearch) {
    FakeBackend backend;
    auto broken = backend.add("a");
    broken->attributesWork = false;
    auto recorder = backend.add("b");
    LoggerLink link(backend);
    EXPECT_FALSE(link.hasDevice());
    EXPECT_EQ(recorder->opened, 0);
    EXPECT_EQ(broken->alive, 0);
}

TEST(CheckPresence, ReplacesTheHandleWithoutAccumulating) {
    FakeBackend backend;
    auto recorder = backend.add("r");
    LoggerLink link(backend);
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(link.CheckPresence(), 1);
    }
    EXPECT_EQ(recorder->opened, 101);
    EXPECT_EQ(recorder->alive, 1);
    recorder->answers.push_back(kAck);
    EXPECT_EQ(link.WriteByte(16, 0x55), 1); // transfers use the newest handle

    recorder->opens = false; // unplugged
    EXPECT_EQ(link.CheckPresence(), 0);
    EXPECT_EQ(recorder->alive, 0);
    EXPECT_FALSE(link.hasDevice());
}

TEST(CheckPresence, AttributesFailingOnTheNewHandleClosesIt) {
    FakeBackend backend;
    auto recorder = backend.add("r");
    LoggerLink link(backend);
    recorder->attributesWork = false;
    EXPECT_EQ(link.CheckPresence(), 0);
    EXPECT_EQ(recorder->alive, 0);
}

TEST(CheckPresence, HandleInUseByATransferIsNotReleasedUnderIt) {
    FakeBackend backend;
    auto recorder = backend.add("r");
    LoggerLink link(backend);
    int aliveDuringTransfer = -1;
    bool fired = false;
    // While the read command is on the wire, another thread's presence check replaces the handle;
    // the exchange must finish on the handle it started with.
    recorder->onWrite = [&](testing::FakeInterfaceState& s, const Report&) {
        if (fired) {
            return;
        }
        fired = true;
        link.CheckPresence();
        aliveDuringTransfer = s.alive;
        for (int i = 0; i < 4; ++i) {
            s.answers.push_back(frameReport({1, 2, 3, 4, 5, 6, 7, 8}));
        }
    };
    uint8_t data[32] = {};
    EXPECT_EQ(link.ReadMemory(0, data), 1);
    EXPECT_EQ(aliveDuringTransfer, 2);
    EXPECT_EQ(recorder->alive, 1);
    EXPECT_EQ(data[31], 8);
}

TEST(Commands, ReadSendsTheGoldenFrameAndReadsFourFrames) {
    FakeBackend backend;
    auto r = backend.add("r");
    LoggerLink link(backend);
    for (uint8_t i = 0; i < 4; ++i) {
        r->answers.push_back(frameReport({uint8_t(8 * i), 1, 2, 3, 4, 5, 6, uint8_t(8 * i + 7)}));
    }
    uint8_t data[32] = {};
    ASSERT_EQ(link.ReadMemory(0x1234, data), 1);
    ASSERT_EQ(r->written.size(), 1u);
    EXPECT_EQ(r->written[0], wire({0xA1, 0x12, 0x34, 0x20, 0xA1, 0x00, 0x00, 0x20}));
    EXPECT_EQ(data[0], 0);
    EXPECT_EQ(data[8], 8);
    EXPECT_EQ(data[31], 31);
    EXPECT_TRUE(r->answers.empty());
}

TEST(Commands, WriteByteAndItsAcknowledgement) {
    FakeBackend backend;
    auto r = backend.add("r");
    LoggerLink link(backend);
    r->answers.push_back(kAck);
    EXPECT_EQ(link.WriteByte(16, 0x55), 1);
    EXPECT_EQ(r->written.back(), wire({0xA2, 0x00, 0x10, 0x20, 0xA2, 0x55, 0x00, 0x20}));

    r->answers.push_back(frameReport({0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0x00}));
    EXPECT_EQ(link.WriteByte(16, 0x55), 0);
    EXPECT_EQ(link.WriteByte(16, 0x55), 0); // no answer at all
}

TEST(Commands, WriteMemorySendsCommandThenFourDataFrames) {
    FakeBackend backend;
    auto r = backend.add("r");
    LoggerLink link(backend);
    uint8_t data[32];
    for (int i = 0; i < 32; ++i) {
        data[i] = static_cast<uint8_t>(0x40 + i);
    }
    r->answers.push_back(kAck);
    ASSERT_EQ(link.WriteMemory(48, data), 1);
    ASSERT_EQ(r->written.size(), 5u);
    EXPECT_EQ(r->written[0], wire({0xA0, 0x00, 0x30, 0x20, 0xA0, 0x00, 0x00, 0x20}));
    EXPECT_EQ(r->written[1], wire({0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47}));
    EXPECT_EQ(r->written[4], wire({0x58, 0x59, 0x5A, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F}));
    for (const Report& rep : r->written) {
        EXPECT_EQ(rep[0], 0) << "report ID";
    }

    // A data frame that cannot be sent ends the exchange without reading an answer.
    r->written.clear();
    r->failWritesFrom = 2;
    r->answers.push_back(kAck);
    EXPECT_EQ(link.WriteMemory(48, data), 0);
    EXPECT_EQ(r->written.size(), 2u);
    EXPECT_EQ(r->answers.size(), 1u);
}

TEST(Commands, FailedReadLeavesTheDestinationUntouched) {
    FakeBackend backend;
    auto r = backend.add("r");
    LoggerLink link(backend);
    r->answers.push_back(frameReport({1, 1, 1, 1, 1, 1, 1, 1}));
    r->answers.push_back(frameReport({2, 2, 2, 2, 2, 2, 2, 2}));
    uint8_t data[32];
    std::fill(std::begin(data), std::end(data), 0xEE);
    EXPECT_EQ(link.ReadMemory(256, data), 0); // third frame never comes
    for (uint8_t b : data) {
        EXPECT_EQ(b, 0xEE);
    }
}

TEST(Commands, ShortReportReadsAsZeros) {
    FakeBackend backend;
    auto r = backend.add("r");
    LoggerLink link(backend);
    r->answers.push_back({0, 7, 7, 7});
    Frame frame;
    frame.fill(0xEE);
    ASSERT_EQ(link.ReadFrame(frame), 1);
    EXPECT_EQ(frame, (Frame{7, 7, 7, 0, 0, 0, 0, 0}));
}

TEST(Commands, ReadHeaderStopsAtItsFirstFailure) {
    FakeBackend backend;
    auto r = backend.add("r");
    LoggerLink link(backend);
    for (int unit = 0; unit < 4; ++unit) {
        for (int i = 0; i < 4; ++i) {
            r->answers.push_back(frameReport({uint8_t(unit + 1), 0, 0, 0, 0, 0, 0, 0}));
        }
    }
    HeaderBytes header;
    header.fill(0xEE);
    EXPECT_EQ(link.ReadHeader(header), 0);
    EXPECT_EQ(header[0], 1);
    EXPECT_EQ(header[96], 4);
    EXPECT_EQ(header[127], 0);
    EXPECT_EQ(header[128], 0xEE); // the fifth read failed: bytes 128 on stay as they were
    ASSERT_EQ(r->written.size(), 5u);
    EXPECT_EQ(r->written[4], wire({0xA1, 0x00, 0x80, 0x20, 0xA1, 0x00, 0x00, 0x20}));
}

} // namespace
} // namespace veldrin
