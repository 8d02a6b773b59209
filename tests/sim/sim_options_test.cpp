// The simulator program's command line.

#include "sim/sim_options.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace veldrin::sim {
namespace {

bool parse(std::vector<std::string> args, SimProgramOptions& out, std::string* error = nullptr) {
    std::string message;
    const bool ok = parseSimOptions(args, out, message);
    if (error != nullptr) {
        *error = message;
    }
    return ok;
}

TEST(SimOptions, EveryOptionReachesTheConfiguration) {
    SimProgramOptions o;
    ASSERT_TRUE(parse({"--socket",
                       "/tmp/r.sock",
                       "--identity",
                       "100000/10/10000",
                       "--records",
                       "500",
                       "--interval",
                       "15",
                       "--circular",
                       "none",
                       "--unit",
                       "fahrenheit",
                       "--date-order",
                       "month-day",
                       "--version",
                       "3.7",
                       "--release",
                       "0x0101",
                       "--clock-offset",
                       "-3600",
                       "--acceleration",
                       "60",
                       "--answer-delay-ms",
                       "1",
                       "--slot",
                       "2011-07-01 08:00,2011-07-01 18:30",
                       "--silent-frame",
                       "3",
                       "--wrong-ack-frame=4",
                       "--unstable-read-frame",
                       "5",
                       "--unstable-reads",
                       "-1",
                       "--short-report-frame",
                       "6",
                       "--short-report-length",
                       "2",
                       "--hang-up-frame",
                       "7",
                       "--unplug-frame",
                       "8",
                       "--replug-after-ms",
                       "500",
                       "--refuse-clock",
                       "2",
                       "--trace"},
                      o));
    EXPECT_EQ(o.socketPath, "/tmp/r.sock");
    ASSERT_TRUE(o.config.identity.has_value());
    EXPECT_EQ(*o.config.identity, (RecorderIdentity{100000, 10, 10000}));
    EXPECT_EQ(o.config.preloadRecords, 500u);
    EXPECT_EQ(o.config.interval, 15);
    EXPECT_EQ(o.config.circularMode, 0xFF);
    EXPECT_EQ(o.config.tempUnit, 0x00);
    EXPECT_EQ(o.config.dateOrder, 0x00);
    EXPECT_EQ(o.config.versionMajor, 3);
    EXPECT_EQ(o.config.versionMinor, 7);
    EXPECT_EQ(o.config.attributes.release, 0x0101);
    EXPECT_EQ(o.config.clockOffsetSeconds, -3600);
    EXPECT_DOUBLE_EQ(o.config.acceleration, 60.0);
    EXPECT_EQ(o.config.answerDelayMs, 1);
    ASSERT_EQ(o.config.slots.size(), 1u);
    EXPECT_EQ(o.config.slots[0].end, DateTime::fromFields(2011, 7, 1, 18, 30));
    EXPECT_EQ(o.faults.silentFrame, 3u);
    EXPECT_EQ(o.faults.wrongAckFrame, 4u);
    EXPECT_EQ(o.faults.unstableReadFrame, 5u);
    EXPECT_EQ(o.faults.unstableReads, -1);
    EXPECT_EQ(o.faults.shortReportFrame, 6u);
    EXPECT_EQ(o.faults.shortReportLength, 2u);
    EXPECT_EQ(o.faults.hangUpFrame, 7u);
    EXPECT_EQ(o.faults.unplugFrame, 8u);
    EXPECT_EQ(o.replugAfterMs, 500);
    EXPECT_EQ(o.faults.refuseClockSettings, 2);
    EXPECT_TRUE(o.trace);
}

TEST(SimOptions, IdentityFormsAndDefaults) {
    SimProgramOptions o;
    ASSERT_TRUE(parse({"--socket", "s", "--identity", "10/10000"}, o));
    EXPECT_EQ(o.config.identity->product, 100000u);
    ASSERT_TRUE(parse({"--socket", "s", "--identity", "blank"}, o));
    EXPECT_FALSE(o.config.identity.has_value());
    ASSERT_TRUE(parse({"--socket", "s", "--identity", "7/10/10000"}, o)); // kept as given
    EXPECT_FALSE(o.config.identity->isValid());
    ASSERT_TRUE(parse({"--socket", "s"}, o));
    EXPECT_EQ(o.config.attributes.release, kRecorderRelease);
    EXPECT_EQ(o.config.circularMode, 0x02);
    EXPECT_EQ(o.faults.silentFrame, 0u);
}

TEST(SimOptions, RejectsWhatItCannotUse) {
    SimProgramOptions o;
    std::string error;
    EXPECT_FALSE(parse({"--interval", "5"}, o, &error));
    EXPECT_NE(error.find("--socket"), std::string::npos);
    EXPECT_FALSE(parse({"--socket", "s", "--bogus"}, o, &error));
    EXPECT_NE(error.find("--bogus"), std::string::npos);
    EXPECT_FALSE(parse({"--socket"}, o));
    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"--interval", "256"},
                                               {"--interval", "5x"},
                                               {"--release", "0x10000"},
                                               {"--identity", "10/70000"},
                                               {"--identity", "1/2/3/4"},
                                               {"--version", "3"},
                                               {"--acceleration", "0.5"},
                                               {"--answer-delay-ms", "1001"},
                                               {"--silent-frame", "0"},
                                               {"--short-report-length", "9"},
                                               {"--slot", "2011-02-30 08:00,2011-03-01 08:00"},
                                               {"--unit", "kelvin"},
                                               {"--header-fill", "-1"}}) {
        std::vector<std::string> args = {"--socket", "s"};
        args.insert(args.end(), bad.begin(), bad.end());
        EXPECT_FALSE(parse(args, o)) << bad[0] << " " << bad[1];
    }
    ASSERT_TRUE(parse({"--help"}, o)); // help needs no socket
    EXPECT_TRUE(o.help);
}

} // namespace
} // namespace veldrin::sim
