#include "cli/configure_plan.h"

#include <gtest/gtest.h>

namespace veldrin::cli {
namespace {

// Now is 2011-06-15 14:37:12; the recorder records linearly, slot 1 (index 0) in use tomorrow.
class ConfigurePlanTest : public ::testing::Test {
protected:
    ConfigurePlanTest() {
        recorder.tempUnit = 0;
        recorder.dateOrder = 1;
        recorder.interval = 10;
        recorder.circularMode = 0;
        recorder.description = u"Cellar";
        for (TimeSlot& slot : recorder.slots) {
            slot.start = now;
            slot.end = now;
            slot.inUse = 0;
        }
        recorder.slots[0] = TimeSlot{at(16, 8, 0), at(16, 18, 30), 1, 3, 0};
    }

    static DateTime at(int day, int hour, int minute, int second = 0) {
        return DateTime::fromFields(2011, 6, day, hour, minute, second);
    }
    static SlotChange slotOn(int slot, const DateTime& start, const DateTime& end) {
        return SlotChange{slot, true, start, end};
    }
    static SlotChange slotOff(int slot) { return SlotChange{slot, false, {}, {}}; }

    ConfigurePlan plan() const { return planConfiguration(request, recorder, now); }

    static bool mentions(const std::vector<std::string>& texts, const std::string& part) {
        for (const std::string& text : texts) {
            if (text.find(part) != std::string::npos) {
                return true;
            }
        }
        return false;
    }

    const DateTime now = at(15, 14, 37, 12);
    RecorderSettings recorder;
    ConfigureRequest request;
};

TEST_F(ConfigurePlanTest, ValuesNotGivenStayAsTheRecorderHasThem) {
    const ConfigurePlan p = plan();
    ASSERT_TRUE(p.ok());
    EXPECT_TRUE(p.warnings.empty());
    EXPECT_EQ(p.edit.tempUnit, 0);
    EXPECT_EQ(p.edit.dateOrder, 1);
    EXPECT_EQ(p.edit.circular, 0);
    EXPECT_EQ(p.edit.interval, 10);
    EXPECT_EQ(p.edit.description, u"Cellar");
    EXPECT_EQ(p.edit.slots[0].inUse, 1);
    EXPECT_EQ(p.edit.slots[0].start, at(16, 8, 0));
    EXPECT_EQ(p.edit.slots[0].firstBlock, 3);
}

TEST_F(ConfigurePlanTest, ChoicesAreApplied) {
    request.unit = 1;
    request.dateOrder = 0;
    request.interval = 240;
    request.description = "Keller \xC3\xA4";
    request.slots = {slotOff(1)};
    const ConfigurePlan p = plan();
    ASSERT_TRUE(p.ok()) << p.errors.front();
    EXPECT_EQ(p.edit.tempUnit, 1);
    EXPECT_EQ(p.edit.dateOrder, 0);
    EXPECT_EQ(p.edit.interval, 240);
    EXPECT_EQ(p.edit.description, u"Keller \u00E4");
    EXPECT_EQ(p.edit.slots[0].inUse, 0);
}

TEST_F(ConfigurePlanTest, IntervalOutsideOneTo240IsRefused) {
    for (long minutes : {0L, 241L, -5L}) {
        request.interval = minutes;
        const ConfigurePlan p = plan();
        EXPECT_FALSE(p.ok());
        EXPECT_TRUE(mentions(p.errors, "--interval: " + std::to_string(minutes)));
    }
    request.interval = 1;
    EXPECT_TRUE(plan().ok());
}

TEST_F(ConfigurePlanTest, DescriptionIsCountedInUtf16Units) {
    std::string umlauts;
    for (int i = 0; i < 255; ++i) {
        umlauts += "\xC3\xA4"; // 510 bytes, 255 units
    }
    request.description = umlauts;
    EXPECT_TRUE(plan().ok());
    request.description = std::string(256, 'a');
    EXPECT_TRUE(mentions(plan().errors, "--description: 256"));
    std::string faces;
    for (int i = 0; i < 128; ++i) {
        faces += "\xF0\x9F\x98\x80"; // 128 characters, 256 units
    }
    request.description = faces;
    EXPECT_TRUE(mentions(plan().errors, "--description: 256"));
}

TEST_F(ConfigurePlanTest, PastTimesAreRefusedWhileRecordingLinearly) {
    request.slots = {slotOn(2, at(14, 8, 0), at(17, 8, 0))};
    ConfigurePlan p = plan();
    EXPECT_TRUE(mentions(p.errors, "slot 2 start 2011-06-14 08:00 lies in the past"));
    // The current minute is already past: the recorder compares minutes with the time to the
    // second.
    request.slots = {slotOn(2, at(15, 14, 37), at(17, 8, 0))};
    EXPECT_TRUE(mentions(plan().errors, "slot 2 start 2011-06-15 14:37"));
    request.slots = {slotOn(2, at(15, 14, 38), at(15, 14, 38))};
    EXPECT_TRUE(plan().ok());
}

TEST_F(ConfigurePlanTest, RecorderWithoutCircularModeAcceptsPastTimes) {
    recorder.circularMode = 255;
    request.slots = {slotOn(2, at(14, 8, 0), at(14, 9, 0))};
    const ConfigurePlan p = plan();
    EXPECT_TRUE(p.ok());
    EXPECT_EQ(p.edit.circular, 255);
    EXPECT_EQ(p.edit.slots[1].inUse, 1);

    request.circular = false;
    EXPECT_TRUE(mentions(plan().errors, "no circular mode"));
}

TEST_F(ConfigurePlanTest, SlotTimesKeepMinutesOnly) {
    request.slots = {slotOn(3, at(20, 10, 0, 45), at(20, 11, 5, 59))};
    const ConfigurePlan p = plan();
    ASSERT_TRUE(p.ok());
    EXPECT_EQ(p.edit.slots[2].start, at(20, 10, 0));
    EXPECT_EQ(p.edit.slots[2].end, at(20, 11, 5));
}

TEST_F(ConfigurePlanTest, EndBeforeStartIsRefused) {
    request.slots = {slotOn(2, at(20, 10, 0), at(20, 9, 59))};
    EXPECT_TRUE(mentions(plan().errors, "slot 2 end 2011-06-20 09:59 lies before its start"));
}

TEST_F(ConfigurePlanTest, SlotYearsOutsideTheRecordersRangeAreRefused) {
    request.slots = {slotOn(4, DateTime::fromFields(2255, 12, 31, 23, 0),
                            DateTime::fromFields(2256, 1, 1, 0, 0))};
    ConfigurePlan p = plan();
    EXPECT_EQ(p.errors.size(), 1u);
    EXPECT_TRUE(mentions(p.errors, "slot 4 end 2256-01-01 00:00: the year"));
    recorder.circularMode = 255;
    request.slots = {slotOn(4, DateTime::fromFields(1999, 12, 31, 23, 0), at(20, 0, 0))};
    EXPECT_TRUE(mentions(plan().errors, "slot 4 start 1999-12-31 23:00: the year"));
}

TEST_F(ConfigurePlanTest, CircularRecordingExcludesSlotsInUse) {
    request.circular = true;
    EXPECT_TRUE(mentions(plan().errors, "slot 1 in use"));
    request.slots = {slotOff(1)};
    const ConfigurePlan p = plan();
    ASSERT_TRUE(p.ok());
    EXPECT_EQ(p.edit.circular, 1);
}

TEST_F(ConfigurePlanTest, SwitchingASlotOnIsRefusedWhileTheRecorderIsCircular) {
    recorder.circularMode = 1;
    recorder.slots[0].inUse = 0;
    request.slots = {slotOn(2, at(20, 10, 0), at(20, 11, 0))};
    EXPECT_TRUE(mentions(plan().errors, "slot 2 in use"));
    request.circular = false;
    EXPECT_TRUE(plan().ok());
}

TEST_F(ConfigurePlanTest, ARecorderHoldingBothKeepsThemWhenNeitherIsChanged) {
    recorder.circularMode = 1;
    request.interval = 5;
    const ConfigurePlan p = plan();
    EXPECT_TRUE(p.ok());
    EXPECT_EQ(p.edit.circular, 1);
    EXPECT_EQ(p.edit.slots[0].inUse, 1);
}

TEST_F(ConfigurePlanTest, OverlappingSlotsAreOnlyAWarning) {
    request.slots = {slotOn(2, at(16, 12, 0), at(16, 20, 0))};
    const ConfigurePlan p = plan();
    EXPECT_TRUE(p.ok());
    ASSERT_EQ(p.warnings.size(), 1u);
    EXPECT_EQ(p.warnings[0], "slot 2 starts before slot 1 ends");
    EXPECT_EQ(p.edit.slots[1].inUse, 1);
}

TEST_F(ConfigurePlanTest, TheLastChangeOfASlotWins) {
    request.slots = {slotOn(2, at(20, 10, 0), at(20, 11, 0)), slotOff(2)};
    ConfigurePlan p = plan();
    EXPECT_TRUE(p.ok());
    EXPECT_EQ(p.edit.slots[1].inUse, 0);
    request.slots = {slotOff(1), slotOn(1, at(21, 10, 0), at(21, 11, 0))};
    p = plan();
    EXPECT_EQ(p.edit.slots[0].inUse, 1);
    EXPECT_EQ(p.edit.slots[0].start, at(21, 10, 0));
}

// The command line's own faults are found without a recorder, and each is also a fault of the
// plan against the recorder; what depends on the recorder waits for it.
TEST_F(ConfigurePlanTest, FaultsOfTheCommandLineAloneAreFoundFirst) {
    const SlotChange past = slotOn(2, at(14, 8, 0), at(17, 8, 0));
    const SlotChange reversed = slotOn(2, at(20, 10, 0), at(20, 9, 0));
    const SlotChange tooLate = slotOn(2, at(20, 10, 0), DateTime::fromFields(2256, 1, 1, 0, 0));
    const SlotChange tomorrow = slotOn(2, at(20, 10, 0), at(20, 11, 0));
    struct Case {
        ConfigureRequest request;
        const char* fault; // nullptr: nothing the line alone shows
    };
    const auto with = [](auto change) {
        ConfigureRequest r;
        change(r);
        return r;
    };
    const Case cases[] = {
        {with([](ConfigureRequest& r) { r.interval = 0; }), "--interval: 0"},
        {with([](ConfigureRequest& r) { r.interval = 241; }), "--interval: 241"},
        {with([](ConfigureRequest& r) { r.description = std::string(256, 'a'); }),
         "--description: 256"},
        {with([&](ConfigureRequest& r) { r.slots = {reversed}; }), "lies before its start"},
        {with([&](ConfigureRequest& r) { r.slots = {tooLate}; }), "the year"},
        {with([&](ConfigureRequest& r) {
             r.circular = false;
             r.slots = {past};
         }),
         "lies in the past"},
        {with([&](ConfigureRequest& r) {
             r.circular = true;
             r.slots = {tomorrow};
         }),
         "slot 2 in use"},
        // Past times are a fault only for a recorder with a circular mode; slot 1 in use only
        // for the recorder that has it.
        {with([&](ConfigureRequest& r) { r.slots = {past}; }), nullptr},
        {with([](ConfigureRequest& r) { r.circular = true; }), nullptr},
        {with([](ConfigureRequest& r) { r.interval = 240; }), nullptr},
    };
    for (const Case& c : cases) {
        const std::vector<std::string> early = checkConfigureRequest(c.request, now);
        request = c.request;
        const ConfigurePlan late = plan();
        if (c.fault == nullptr) {
            EXPECT_TRUE(early.empty()) << early.front();
            continue;
        }
        EXPECT_TRUE(mentions(early, c.fault)) << c.fault;
        for (const std::string& error : early) {
            EXPECT_TRUE(mentions(late.errors, error)) << error;
        }
    }
}

TEST_F(ConfigurePlanTest, AConfigurationIsDescribedLineByLine) {
    ConfigurationEdit edit = editFromSettings(recorder);
    edit.tempUnit = 1;
    EXPECT_EQ(
        describeConfiguration(edit),
        (std::vector<std::string>{
            "unit: Fahrenheit", "date order: day-month", "recording: linear", "interval: 10 min",
            "description: \"Cellar\"", "slot 1: 2011-06-16 08:00 to 2011-06-16 18:30",
            "slot 2: not in use", "slot 3: not in use", "slot 4: not in use"}));
}

} // namespace
} // namespace veldrin::cli
