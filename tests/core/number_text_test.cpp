// Measured values written for programs: their shortest decimal, without the noise of conversions.

#include "core/number_text.h"
#include "core/temperature_unit.h"

#include <gtest/gtest.h>

#include <limits>

namespace veldrin {
namespace {

TEST(MeasuredNumberText, NoiseOfConversionsIsRoundedOff) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {16.700000000000003, "16.7"},
        {25.299999999999997, "25.3"},
        {displayTemperature(8.0, true), "46.4"},
        {7.999999999999999, "8"},
        {236 * 0.1 - 40, "-16.4"},
        {-0.0000001, "0"},  // no negative zero
        {77.545, "77.545"}, // a limit stored to hundredths, in Fahrenheit
        {1e300, "1e+300"},  // far beyond a millionth's reach: unchanged
        {std::numeric_limits<double>::infinity(), ""},
        {std::numeric_limits<double>::quiet_NaN(), ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(measuredNumberText(c.value), c.text) << c.value;
    }
}

} // namespace
} // namespace veldrin
