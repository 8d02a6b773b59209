// The software recorder's own behaviour on simulated time: header, recording, blocks, wrap, full
// stop, time slots, its clock and the clock setting, and the faults of the in-process backend.

#include "device/logger_link.h"
#include "sim/sim_backend.h"
#include "sim/software_recorder.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace veldrin::sim {
namespace {

constexpr int64_t kMinute = 60'000;
const RecorderIdentity kIdentity{100000, 10, 10000};

// Record i carries raw temperature 100 + i, so every record of a test can be told apart.
std::vector<Measurement> countingSeries(int n) {
    std::vector<Measurement> series;
    for (int i = 0; i < n; ++i) {
        series.push_back({(100 + i) * 0.1 - 40.0, 50});
    }
    return series;
}

class RecorderModel : public ::testing::Test {
protected:
    std::shared_ptr<SoftwareRecorder> make(RecorderConfig config = {}) {
        return std::make_shared<SoftwareRecorder>(std::move(config), clock);
    }
    static DeviceRecord recordAt(SoftwareRecorder& r, int index) {
        uint8_t bytes[4];
        r.read(static_cast<uint16_t>(kRecordAreaStart + 4 * index), bytes, 4);
        return decodeRecord(bytes);
    }
    static bool erased(SoftwareRecorder& r, int from, int to) {
        std::vector<uint8_t> m = r.memory();
        return std::all_of(m.begin() + from, m.begin() + to, [](uint8_t b) { return b == 0xFF; });
    }
    static void writeByte(SoftwareRecorder& r, int address, uint8_t value) {
        r.write(static_cast<uint16_t>(address), &value, 1);
    }
    static std::array<uint8_t, 6> clockBytes(SoftwareRecorder& r) {
        const HeaderImage h = r.header();
        std::array<uint8_t, 6> c{};
        std::copy(h.begin() + header::clock, h.begin() + header::clock + 6, c.begin());
        return c;
    }

    testing::ScopedTimeZone tz{"UTC0"};
    ManualClock clock; // 2011-06-15 14:30:12
};

// ----- header ----------------------------------------------------------------------------------

TEST_F(RecorderModel, NewHeaderCarriesTheConfiguration) {
    RecorderConfig c;
    c.identity = kIdentity;
    c.versionMajor = 2;
    c.versionMinor = 5;
    c.tempUnit = 0x00;
    c.dateOrder = 0x00;
    c.circularMode = 0x00;
    c.interval = 10;
    const HeaderImage h = make(c)->header();
    EXPECT_EQ(identityFromHeader(h), kIdentity);
    EXPECT_EQ(h[header::versionMajor], 2);
    EXPECT_EQ(h[header::versionMinor], 5);
    EXPECT_EQ(h[header::tempUnit], 0x00);
    EXPECT_EQ(h[header::dateOrder], 0x00);
    EXPECT_EQ(h[header::circularMode], 0x00);
    EXPECT_EQ(h[header::interval], 10);
    EXPECT_EQ(h[header::lastBlock], 1);
    EXPECT_EQ(h[header::wrapMarker], 1);
    EXPECT_EQ(h[header::slotsInUse], 0);
    EXPECT_EQ(h[header::clockSetMarker], 0x00);
    const std::array<uint8_t, 6> now{0x0B, 0x06, 0x0F, 0x0E, 0x1E, 0x0C};
    EXPECT_TRUE(std::equal(now.begin(), now.end(), h.begin() + header::clock));
    EXPECT_TRUE(std::all_of(h.begin() + 48, h.begin() + 58, [](uint8_t b) { return b == 0xFF; }));

    const HeaderImage blank = make()->header();
    EXPECT_TRUE(
        std::all_of(blank.begin() + 8, blank.begin() + 16, [](uint8_t b) { return b == 0xFF; }));
    EXPECT_FALSE(identityFromHeader(blank).isValid());
}

// ----- recording -------------------------------------------------------------------------------

TEST_F(RecorderModel, RecordsEveryIntervalOfItsOwnTime) {
    RecorderConfig c;
    c.interval = 5;
    c.series = countingSeries(10);
    auto r = make(c);
    clock.advanceMs(5 * kMinute - 1000);
    r->update();
    EXPECT_EQ(r->recordsMade(), 0u);
    clock.advanceMs(1000);
    r->update();
    ASSERT_EQ(r->recordsMade(), 1u);
    const DeviceRecord first = recordAt(*r, 0);
    EXPECT_TRUE(first.plausible);
    EXPECT_EQ(first.raw, 100);
    EXPECT_EQ(first.humidity, 50);
    EXPECT_EQ(first.interval, 5);
    clock.advanceMs(10 * kMinute);
    EXPECT_EQ(r->header()[header::lastBlock], 1);
    EXPECT_EQ(r->recordsMade(), 3u);
    EXPECT_EQ(recordAt(*r, 2).raw, 102);
    EXPECT_FALSE(recordAt(*r, 3).plausible);
}

TEST_F(RecorderModel, IntervalZeroStopsRecording) {
    RecorderConfig c;
    c.interval = 0;
    auto r = make(c);
    clock.advanceMs(24 * 60 * kMinute);
    r->update();
    EXPECT_EQ(r->recordsMade(), 0u);
    writeByte(*r, header::interval, 2); // the host sets an interval: recording resumes
    clock.advanceMs(4 * kMinute);
    r->update();
    EXPECT_GE(r->recordsMade(), 1u);
}

TEST_F(RecorderModel, AccelerationShortensThePeriodButNotTheClock) {
    RecorderConfig c;
    c.acceleration = 60.0; // one record a second at a 1-minute interval
    auto r = make(c);
    clock.advanceMs(10'000);
    EXPECT_EQ(clockBytes(*r)[5], 22);
    EXPECT_EQ(r->recordsMade(), 10u);
    EXPECT_EQ(recordAt(*r, 9).interval, 1);
}

TEST_F(RecorderModel, EnteringABlockErasesItFirst) {
    RecorderConfig c;
    c.circularMode = 0x00;
    auto r = make(c);
    const std::vector<uint8_t> junk(256, 0x00);
    r->write(512, junk.data(), junk.size());
    r->preloadHistory(64); // block 1 full
    EXPECT_EQ(r->header()[header::lastBlock], 1);
    EXPECT_EQ(r->memory()[600], 0x00);

    clock.advanceMs(kMinute);
    const HeaderImage h = r->header();
    EXPECT_EQ(h[header::lastBlock], 2);
    EXPECT_EQ(h[header::wrapMarker], 2); // follows lastBlock until the memory wraps
    EXPECT_TRUE(recordAt(*r, 64).plausible);
    EXPECT_TRUE(erased(*r, 516, 768));
}

TEST_F(RecorderModel, CircularRecordingWrapsAndMarksIt) {
    RecorderConfig c;
    c.series = countingSeries(1000);
    auto r = make(c);
    r->preloadHistory(kRecordCapacity - 1);
    EXPECT_EQ(r->nextRecordAddress(), 65532);
    EXPECT_EQ(r->header()[header::lastBlock], 255);
    EXPECT_EQ(r->header()[header::wrapMarker], 255);
    EXPECT_FALSE(r->wrapped());

    clock.advanceMs(2 * kMinute);
    const HeaderImage h = r->header();
    EXPECT_TRUE(r->wrapped());
    EXPECT_EQ(h[header::lastBlock], 1);
    EXPECT_EQ(h[header::wrapMarker], 0xFF);
    EXPECT_TRUE(recordAt(*r, kRecordCapacity - 1).plausible);
    EXPECT_TRUE(recordAt(*r, 0).plausible);
    EXPECT_TRUE(erased(*r, 260, 512));       // the rest of the block it entered
    EXPECT_TRUE(recordAt(*r, 64).plausible); // the oldest records follow
    EXPECT_EQ(r->nextRecordAddress(), 260);
}

TEST_F(RecorderModel, LinearRecordingStopsWhenFull) {
    for (const uint8_t mode : {uint8_t{0x00}, uint8_t{0xFF}}) {
        RecorderConfig c;
        c.circularMode = mode;
        auto r = make(c);
        r->preloadHistory(kRecordCapacity + 100);
        EXPECT_EQ(r->recordsMade(), static_cast<uint64_t>(kRecordCapacity));
        EXPECT_TRUE(r->full());
        clock.advanceMs(30 * kMinute);
        EXPECT_EQ(r->recordsMade(), static_cast<uint64_t>(kRecordCapacity));
        const HeaderImage h = r->header();
        EXPECT_EQ(h[header::lastBlock], 255);
        EXPECT_EQ(h[header::wrapMarker], 255);
        EXPECT_FALSE(r->wrapped());
        EXPECT_TRUE(recordAt(*r, 0).plausible);
        EXPECT_TRUE(recordAt(*r, kRecordCapacity - 1).plausible);
    }
}

TEST_F(RecorderModel, PreloadAndALongAbsenceLeaveTheSameMemory) {
    const uint64_t count = 3 * kRecordCapacity + 5;
    RecorderConfig c;
    c.series = countingSeries(997);
    auto preloaded = make(c);
    preloaded->preloadHistory(count);
    EXPECT_EQ(preloaded->recordsMade(), count);
    EXPECT_EQ(preloaded->nextRecordAddress(), 256 + 4 * 5);
    const std::vector<uint8_t> a = preloaded->memory();

    auto caughtUp = make(c);
    clock.advanceMs(static_cast<int64_t>(count) * kMinute);
    const std::vector<uint8_t> b = caughtUp->memory();
    EXPECT_EQ(caughtUp->recordsMade(), count);
    EXPECT_EQ(caughtUp->nextRecordAddress(), 256 + 4 * 5);
    EXPECT_TRUE(std::equal(a.begin() + kRecordAreaStart, a.end(), b.begin() + kRecordAreaStart));
    EXPECT_EQ(a[header::lastBlock], b[header::lastBlock]);
    EXPECT_EQ(b[header::wrapMarker], 0xFF);
}

TEST_F(RecorderModel, PreloadOfHugeCountsIsQuick) {
    auto r = make();
    r->preloadHistory(1'000'000'007ULL);
    EXPECT_EQ(r->recordsMade(), 1'000'000'007ULL);
    EXPECT_EQ(r->nextRecordAddress(),
              256 + 4 * static_cast<int>(1'000'000'007ULL % kRecordCapacity));
    EXPECT_TRUE(r->wrapped());
}

// ----- time slots ------------------------------------------------------------------------------

class RecorderSlots : public RecorderModel {
protected:
    std::shared_ptr<SoftwareRecorder> makeWithSlots(uint8_t circularMode = 0x00) {
        RecorderConfig c;
        c.circularMode = circularMode;
        c.slots = {
            {DateTime::fromFields(2011, 6, 15, 14, 40), DateTime::fromFields(2011, 6, 15, 14, 49)},
            {DateTime::fromFields(2011, 6, 15, 15, 0), DateTime::fromFields(2011, 6, 15, 15, 4)}};
        return make(c);
    }
    static uint8_t slotByte(SoftwareRecorder& r, int k, int offset) {
        return r.header()[static_cast<std::size_t>(header::slotOffset(k) + offset)];
    }
    void advanceTo(int hour, int minute, int second) {
        clock.setUnixSeconds(1308096000 + hour * 3600 + minute * 60 + second); // 2011-06-15
    }
};

TEST_F(RecorderSlots, RecordsOnlyInsideSlotsEachFromAFreshBlock) {
    auto r = makeWithSlots();
    EXPECT_EQ(r->header()[header::slotsInUse], 2);
    advanceTo(14, 45, 30);
    EXPECT_EQ(r->recordsMade(), 6u); // 14:40:12 to 14:45:12
    EXPECT_EQ(slotByte(*r, 0, 12), 1);
    EXPECT_EQ(slotByte(*r, 0, 13), 0); // still recording

    advanceTo(15, 2, 30);
    EXPECT_EQ(r->recordsMade(), 13u);
    EXPECT_EQ(slotByte(*r, 0, 13), 1);
    EXPECT_EQ(slotByte(*r, 1, 12), 2);
    EXPECT_EQ(slotByte(*r, 1, 13), 0);

    advanceTo(15, 10, 0);
    EXPECT_EQ(r->recordsMade(), 15u);
    EXPECT_EQ(slotByte(*r, 1, 13), 2);
    EXPECT_EQ(r->header()[header::lastBlock], 2);
    EXPECT_TRUE(recordAt(*r, 9).plausible);
    EXPECT_TRUE(erased(*r, 256 + 40, 512));
    EXPECT_TRUE(recordAt(*r, 64 + 4).plausible);
    EXPECT_TRUE(erased(*r, 512 + 20, 768));

    clock.advanceMs(3 * 24 * 60 * kMinute);
    EXPECT_EQ(r->recordsMade(), 15u);
}

TEST_F(RecorderSlots, ChangedSlotTimesStartTheSlotAfresh) {
    auto r = makeWithSlots();
    advanceTo(14, 45, 30);
    ASSERT_EQ(slotByte(*r, 0, 12), 1);
    // The host moves slot 0 to 14:50 - 14:55 and writes back the blocks it had read.
    uint8_t image[14] = {0x0B, 0x06, 0x0F, 0x0E, 0x32, 0x0B, 0x06,
                         0x0F, 0x0E, 0x37, 0xFF, 0xFF, 1,    0};
    r->write(static_cast<uint16_t>(header::slotOffset(0)), image, sizeof image);
    EXPECT_EQ(slotByte(*r, 0, 12), 0);
    EXPECT_EQ(slotByte(*r, 0, 13), 0);
    advanceTo(14, 56, 0);
    EXPECT_EQ(r->recordsMade(), 6u + 6u);
    EXPECT_EQ(slotByte(*r, 0, 12), 2);
    EXPECT_EQ(slotByte(*r, 0, 13), 2);
}

TEST_F(RecorderSlots, CircularModeRecordsContinuously) {
    auto r = makeWithSlots(0x02);
    advanceTo(14, 39, 0);
    EXPECT_EQ(r->recordsMade(), 8u);
    EXPECT_EQ(slotByte(*r, 0, 12), 0);
}

// ----- clock -----------------------------------------------------------------------------------

TEST_F(RecorderModel, ClockRunsOnFromThePcTimePlusItsOffset) {
    RecorderConfig c;
    c.clockOffsetSeconds = -3600;
    auto r = make(c);
    EXPECT_EQ(clockBytes(*r), (std::array<uint8_t, 6>{0x0B, 0x06, 0x0F, 0x0D, 0x1E, 0x0C}));
    clock.advanceMs(65'000);
    EXPECT_EQ(clockBytes(*r), (std::array<uint8_t, 6>{0x0B, 0x06, 0x0F, 0x0D, 0x1F, 0x11}));
    r->setClockOffsetSeconds(600);
    EXPECT_EQ(r->recorderTime(), DateTime::fromFields(2011, 6, 15, 14, 41, 17));
}

TEST_F(RecorderModel, ClockSettingTakesEffectOnceAllSixFieldsAreWritten) {
    RecorderConfig c;
    c.clockOffsetSeconds = -3600;
    auto r = make(c);
    const uint8_t fields[6] = {0x0B, 0x06, 0x0F, 0x0E, 0x1E, 0x0C}; // 2011-06-15 14:30:12
    writeByte(*r, 16, 0x55);
    for (int i = 0; i < 5; ++i) {
        writeByte(*r, 17 + i, fields[i]);
    }
    EXPECT_EQ(clockBytes(*r)[3], 0x0D); // not yet
    EXPECT_EQ(r->header()[16], 0x55);
    writeByte(*r, 22, fields[5]);
    EXPECT_EQ(r->header()[16], 0x00);
    EXPECT_EQ(r->clockSettings(), 1);
    clock.advanceMs(3000);
    EXPECT_EQ(clockBytes(*r), (std::array<uint8_t, 6>{0x0B, 0x06, 0x0F, 0x0E, 0x1E, 0x0F}));

    // One 32-byte write that carries marker and fields sets the clock as well.
    uint8_t unit[32];
    r->read(0, unit, 32);
    unit[16] = 0x55;
    const uint8_t later[6] = {0x0C, 0x01, 0x02, 0x03, 0x04, 0x05};
    std::copy(later, later + 6, unit + 17);
    r->write(0, unit, 32);
    EXPECT_EQ(r->recorderTime(), DateTime::fromFields(2012, 1, 2, 3, 4, 5));
}

TEST_F(RecorderModel, ClockSettingThatNamesNoTimeIsIgnored) {
    auto r = make();
    const uint8_t bytes[7] = {0x55, 0x0B, 0x02, 0x1E, 0x0A, 0x00, 0x00}; // 30 February
    r->write(16, bytes, sizeof bytes);
    EXPECT_EQ(r->header()[16], 0x00);
    EXPECT_EQ(r->clockSettings(), 0);
    EXPECT_EQ(r->recorderTime(), DateTime::fromFields(2011, 6, 15, 14, 30, 12));
}

TEST_F(RecorderModel, RefusedClockSettingKeepsTheOldTime) {
    auto r = make();
    FaultPlan plan;
    plan.refuseClockSettings = 1;
    r->setFaults(plan);
    const uint8_t bytes[7] = {0x55, 0x0C, 0x01, 0x01, 0x00, 0x00, 0x00};
    r->write(16, bytes, sizeof bytes);
    EXPECT_EQ(r->header()[16], 0x00);
    EXPECT_EQ(r->recorderTime(), DateTime::fromFields(2011, 6, 15, 14, 30, 12));
    r->write(16, bytes, sizeof bytes);
    EXPECT_EQ(r->recorderTime(), DateTime::fromFields(2012, 1, 1, 0, 0, 0));
}

// ----- the in-process backend and its faults ---------------------------------------------------

class SimBackendFaults : public RecorderModel {
protected:
    void SetUp() override {
        RecorderConfig c;
        c.identity = kIdentity;
        recorder = make(c);
        backend = makeSimBackend(recorder);
        link = std::make_unique<LoggerLink>(*backend);
    }
    void plan(const FaultPlan& p) { recorder->setFaults(p); }

    std::shared_ptr<SoftwareRecorder> recorder;
    std::unique_ptr<HidBackend> backend;
    std::unique_ptr<LoggerLink> link;
};

TEST_F(SimBackendFaults, NoAnswerFailsAtOnceAndLetsTheTimeOutPassOnTheClock) {
    FaultPlan p;
    p.silentFrame = 1;
    plan(p);
    const int64_t before = clock.steadyMs();
    uint8_t unit[32];
    EXPECT_EQ(link->ReadMemory(0, unit), 0);
    EXPECT_EQ(clock.steadyMs() - before, kReadTimeoutMs);
    EXPECT_EQ(link->ReadMemory(0, unit), 1);
}

TEST_F(SimBackendFaults, UnstableReadsDisagreeUntilTheFaultIsUsedUp) {
    FaultPlan p;
    p.unstableReadFrame = 1;
    p.unstableReads = 1;
    plan(p);
    uint8_t a[32];
    uint8_t b[32];
    ASSERT_EQ(link->ReadMemory(256, a), 1);
    ASSERT_EQ(link->ReadMemory(256, b), 1);
    EXPECT_NE(std::memcmp(a, b, 32), 0);
    ASSERT_EQ(link->ReadMemory(256, a), 1);
    ASSERT_EQ(link->ReadMemory(256, b), 1);
    EXPECT_EQ(std::memcmp(a, b, 32), 0);

    p.unstableReads = -1;
    plan(p);
    for (int pair = 0; pair < 20; ++pair) {
        ASSERT_EQ(link->ReadMemory(256, a), 1);
        ASSERT_EQ(link->ReadMemory(256, b), 1);
        EXPECT_NE(std::memcmp(a, b, 32), 0) << pair;
    }
}

TEST_F(SimBackendFaults, UnplugEndsEveryHandleUntilPluggedInAgain) {
    std::unique_ptr<HidDevice> old = backend->open(kSimInterfacePath);
    ASSERT_NE(old, nullptr);
    FaultPlan p;
    p.unplugFrame = 1;
    plan(p);
    uint8_t unit[32];
    EXPECT_EQ(link->ReadMemory(0, unit), 0);
    EXPECT_EQ(link->CheckPresence(), 0);
    std::vector<std::string> paths;
    ASSERT_TRUE(backend->listInterfaces(paths));
    EXPECT_TRUE(paths.empty());
    EXPECT_EQ(backend->open(kSimInterfacePath), nullptr);

    recorder->plug();
    EXPECT_EQ(link->CheckPresence(), 1);
    EXPECT_EQ(link->ReadMemory(0, unit), 1);
    HidAttributes attributes;
    EXPECT_FALSE(old->attributes(attributes)); // a handle from before the unplug stays dead
    const uint8_t report[kReportSize] = {};
    EXPECT_EQ(old->writeReport(report), 0);
}

TEST_F(SimBackendFaults, TimedReplugWaitsForItsDelay) {
    EXPECT_FALSE(recorder->replugAfter(0)); // plugged in already
    recorder->unplug();
    clock.advanceMs(499);
    EXPECT_FALSE(recorder->replugAfter(500));
    EXPECT_EQ(link->CheckPresence(), 0);
    clock.advanceMs(1);
    EXPECT_TRUE(recorder->replugAfter(500));
    EXPECT_EQ(link->CheckPresence(), 1);
}

TEST_F(SimBackendFaults, ReleaseNumberCanBeChangedWhilePlugged) {
    recorder->setRelease(0x0101);
    EXPECT_EQ(link->CheckPresence(), 0);
    recorder->setRelease(kRecorderRelease);
    EXPECT_EQ(link->CheckPresence(), 1);
}

TEST_F(SimBackendFaults, UnreadAnswersAreKeptInOrderUpToTheQueueLimit) {
    std::unique_ptr<HidDevice> device = backend->open(kSimInterfacePath);
    uint8_t command[kReportSize] = {0};
    const Frame f = commandFrame(RecorderCommand::read32, 0);
    std::copy(f.begin(), f.end(), command + 1);
    for (int i = 0; i < 40; ++i) {
        ASSERT_EQ(device->writeReport(command), 1);
    }
    int answers = 0;
    uint8_t report[kReportSize] = {};
    while (device->readReport(report) == 1) {
        ++answers;
        std::fill(report, report + kReportSize, 0);
    }
    EXPECT_EQ(answers, static_cast<int>(kAnswerQueueLimit));
}

TEST_F(SimBackendFaults, FramesAreCountedFromTheLatestPlan) {
    uint8_t unit[32];
    ASSERT_EQ(link->ReadMemory(0, unit), 1);
    FaultPlan p;
    p.wrongAckFrame = 2;
    plan(p);
    EXPECT_EQ(recorder->framesReceived(), 0u);
    EXPECT_EQ(link->WriteByte(0x2000, 1), 1); // frame 1
    EXPECT_EQ(link->WriteByte(0x2000, 2), 0); // frame 2
    EXPECT_EQ(recorder->framesReceived(), 2u);
    EXPECT_EQ(recorder->recentFrames().back(), commandFrame(RecorderCommand::writeByte, 0x2000, 2));
}

} // namespace
} // namespace veldrin::sim
