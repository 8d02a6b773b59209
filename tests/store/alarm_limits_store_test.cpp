// Alarm limits in main.ini: written in one piece with a dot whatever the locale, read back the
// same, and whatever a hand or a damaged file left there switches a limit off with one message.

#include "store/alarm_limits_store.h"
#include "store/registry.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <clocale>

namespace veldrin {
namespace {

TEST(AlarmLimitsStore, RoundTripWithADotAndLeavesTheRestOfTheFile) {
    testing::TempDir dir;
    const std::string path = dir.file("main.ini");
    testing::writeFile(path, "[Drive ID]\r\nMaxID=1\r\nID0000000=4,2,2\r\n");
    IniFile ini(path);
    // A locale with a decimal comma, where one is installed: the file must not follow it.
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");

    AlarmLimits limits;
    limits.tempHigh = 25.277777777777779; // 77.5 F
    limits.tempLow = -18.5;
    limits.humLow = 30;
    limits.delayMinutes = 45;
    std::string error;
    ASSERT_TRUE(writeAlarmLimits(ini, 1, limits, error)) << error;
    const std::string text = testing::readFile(path);
    // Stored to 0.01: a limit entered in Fahrenheit converts with noise.
    EXPECT_NE(text.find("[Alarm Limits 1]\r\nTempHigh=25.28\r\nTempLow=-18.5\r\n"
                        "HumHigh=\r\nHumLow=30\r\nDelayMinutes=45\r\n"),
              std::string::npos)
        << text;
    limits.tempHigh = 25.28;
    StoredAlarmLimits read = readAlarmLimits(ini.snapshot(), 1);
    EXPECT_EQ(read.limits, limits);
    EXPECT_TRUE(read.problems.empty());
    EXPECT_EQ(readMaxId(ini), 1); // the registry reads as before
    EXPECT_EQ(readAlarmLimits(ini.snapshot(), 0).limits, AlarmLimits{});

    // Switched off again: the same section, empty values.
    ASSERT_TRUE(writeAlarmLimits(ini, 1, AlarmLimits{}, error));
    EXPECT_EQ(readAlarmLimits(ini.snapshot(), 1).limits, AlarmLimits{});
    EXPECT_EQ(testing::readFile(path).find("[Alarm Limits 1]"),
              testing::readFile(path).rfind("[Alarm Limits 1]"));

    // Limits that cannot be stored are refused and the file stays.
    const std::string before = testing::readFile(path);
    limits.humHigh = 20; // below HumLow 30
    EXPECT_FALSE(writeAlarmLimits(ini, 1, limits, error));
    EXPECT_NE(error.find("humidity"), std::string::npos);
    limits.humHigh.reset();
    limits.delayMinutes = -1;
    EXPECT_FALSE(writeAlarmLimits(ini, 1, limits, error));
    EXPECT_EQ(testing::readFile(path), before);
    std::setlocale(LC_NUMERIC, previous.c_str());
}

TEST(AlarmLimitsStore, WhatCannotBeUsedSwitchesThatLimitOffWithOneMessage) {
    struct Case {
        std::string section;
        AlarmLimits expected;
        std::vector<const char*> said; // a part of each message, in order
    };
    const auto limits = [](std::optional<double> th, std::optional<double> tl,
                           std::optional<double> hh, std::optional<double> hl, int delay) {
        return AlarmLimits{th, tl, hh, hl, delay};
    };
    const Case cases[] = {
        {"TempHigh=25,5\nTempLow=abc\nHumHigh= 80 \nHumLow=1e1\nDelayMinutes=x",
         limits({}, {}, 80, 10, 0),
         {"TempHigh \"25,5\" is not a number", "TempLow \"abc\"", "DelayMinutes \"x\""}},
        {"TempHigh=nan\nTempLow=inf\nHumHigh=+70\nDelayMinutes=-5",
         limits({}, {}, 70, {}, 0),
         {"TempHigh \"nan\"", "TempLow \"inf\"", "DelayMinutes \"-5\""}},
        {"TempHigh=5\nTempLow=8\nHumHigh=60\nHumLow=60\nDelayMinutes=99999999999",
         limits({}, {}, 60, 60, 0),
         {"DelayMinutes", "TempLow 8 lies above TempHigh 5; both temperature limits are off"}},
        {"tempHIGH=\"12\"\nTempLow=\nDelayMinutes=", limits(12, {}, {}, {}, 0), {}},
        // Beyond what a record can hold: off, said once each.
        {"TempHigh=1e308\nTempLow=-100\nHumHigh=150\nHumLow=-0.5",
         limits({}, -100, {}, {}, 0),
         {"TempHigh \"1e308\" lies outside", "HumHigh \"150\"", "HumLow \"-0.5\""}},
        // Echoed capped, with control bytes escaped: nothing floods or moves the terminal.
        {"TempHigh=" + std::string(5000, '9') + "x\nTempLow=a\x1b[2J\x7f",
         limits({}, {}, {}, {}, 0),
         {"TempHigh \"9999999999999999999999999999999999999999...\" is not",
          "TempLow \"a\\x1B[2J\\x7F\" is not a number"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.section);
        const IniSnapshot ini =
            IniSnapshot::parse(std::string("[alarm limits 3]\n") + c.section + "\n");
        const StoredAlarmLimits read = readAlarmLimits(ini, 3);
        EXPECT_EQ(read.limits, c.expected);
        ASSERT_EQ(read.problems.size(), c.said.size());
        for (std::size_t i = 0; i < c.said.size(); ++i) {
            EXPECT_NE(read.problems[i].find(c.said[i]), std::string::npos) << read.problems[i];
            EXPECT_EQ(read.problems[i].rfind("main.ini, [Alarm Limits 3]: ", 0), 0u);
            EXPECT_LT(read.problems[i].size(), 160u);
        }
    }
    ReportedOnce once;
    EXPECT_TRUE(once.isNew("a"));
    EXPECT_FALSE(once.isNew("a"));
}

// Implausible limits are refused before anything is written.
TEST(AlarmLimitsStore, ImplausibleLimitsAreRefused) {
    const struct {
        AlarmLimits limits;
        const char* fault; // empty: written
    } cases[] = {
        {AlarmLimits{100.0, -100.0, 100.0, 0.0, 0}, ""},
        {AlarmLimits{100.01, {}, {}, {}, 0}, "temp-high 100.01 lies outside -100 to 100 C"},
        {AlarmLimits{{}, -300.0, {}, {}, 0}, "temp-low -300 lies outside"},
        {AlarmLimits{{}, {}, 150.0, {}, 0}, "hum-high 150 lies outside 0 to 100 %"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        EXPECT_EQ(alarmLimitsFault(c.limits).substr(0, std::string(c.fault).size()), c.fault);
        EXPECT_EQ(alarmLimitsFault(c.limits).empty(), std::string(c.fault).empty());
    }
}

// A write of some limits leaves every other key as the user wrote it, usable or not.
TEST(AlarmLimitsStore, AWriteChangesOnlyTheKeysItNames) {
    const std::string stored[] = {
        "TempHigh=5\nTempLow=15",    // crossed: both read as off, both kept
        "TempHigh=25,5\nTempLow=-3", // a typo
        "TempLow=abc\nDelayMinutes=-5",
        "TempHigh=" + std::string(400, '7') + "\nHumLow= 10 ",
        "TempHigh=\"12\"\ntemplow=\n; a comment\nTempLow=99",
    };
    AlarmLimits wanted;
    wanted.humHigh = 77;
    AlarmLimitKeys keys;
    keys.limits[static_cast<std::size_t>(LimitKind::humHigh)] = true;
    for (const std::string& section : stored) {
        SCOPED_TRACE(section);
        testing::TempDir dir;
        const std::string before = "[Drive ID]\nMaxID=1\n[Alarm Limits 0]\n" + section + "\n";
        testing::writeFile(dir.file("main.ini"), before);
        IniFile ini(dir.file("main.ini"));
        std::string error;
        ASSERT_TRUE(writeAlarmLimits(ini, 0, wanted, keys, error)) << error;
        std::string after = testing::readFile(ini.path());
        const std::size_t added = after.find("HumHigh=77\n");
        ASSERT_NE(added, std::string::npos) << after;
        EXPECT_EQ(after.erase(added, 11), before);
    }
    // A written limit crossing the other side as stored is refused; the file stays.
    testing::TempDir dir;
    const std::string before = "[Alarm Limits 0]\nHumLow=80\nTempHigh=x\n";
    testing::writeFile(dir.file("main.ini"), before);
    IniFile ini(dir.file("main.ini"));
    std::string error;
    EXPECT_FALSE(writeAlarmLimits(ini, 0, wanted, keys, error));
    EXPECT_NE(error.find("humidity"), std::string::npos) << error;
    EXPECT_EQ(testing::readFile(ini.path()), before);
}

} // namespace
} // namespace veldrin
