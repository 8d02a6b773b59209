#include "cli/alarm_text.h"

#include <gtest/gtest.h>

namespace veldrin::cli {
namespace {

// Readings, extremes and limits print as their shortest decimal, without the conversion's noise;
// means, deviations and the MKT keep full precision; a cut event is marked.
TEST(StatisticsJson, TenthsPrintAsTheirShortestDecimal) {
    WindowStatistics stats;
    stats.records = 1;
    stats.temperature =
        ValueStatistics{16.700000000000003, {}, 25.299999999999997, {}, 1.0 / 3, 0.1};
    stats.meanKineticTemperature = 2.0 / 3;
    AlarmEvent event;
    event.extreme = 46.400000000000006;
    event.openStart = true;
    stats.events.push_back(event);
    stats.perLimit[0].minutesBeyond = 203; // short runs too, which are no events
    AlarmLimits limits;
    limits.tempHigh = 7.999999999999999;
    const std::string json = statisticsJson(0, stats, limits, "ab");
    for (const char* expected :
         {"\"min\": 16.7,", "\"max\": 25.3,", "\"extreme\": 46.4", "\"temp-high\": 8,",
          "\"mean\": 0.3333333333333333,", "\"mkt\": 0.6666666666666666", "\"fingerprint\": \"ab\"",
          "\"minutes_beyond\": 203", "\"open_start\": true", "\"open_end\": false"}) {
        EXPECT_NE(json.find(expected), std::string::npos) << expected << "\n" << json;
    }
    // An event cut by the period says so on its line too.
    EXPECT_TRUE(statisticsLines(0, stats, limits).back().ends_with(" C (began earlier)"));
    // The same rule for the limits printed, in either unit.
    EXPECT_EQ(limitLines(limits, true).front(), "temp-high: 46.4 F");
    EXPECT_EQ(limitLines(limits, false).front(), "temp-high: 8 C");
}

} // namespace
} // namespace veldrin::cli
