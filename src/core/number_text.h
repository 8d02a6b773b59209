#pragma once
// Numbers written for programs and files: locale-free, the shortest text that reads back as the
// value meant.

#include <string>

namespace veldrin {

// The shortest text that reads back as the same double ("0.1", "1e+300"); empty for a value that
// is not finite.
std::string shortestNumberText(double value);

// A measured value: a reading, an extreme or a limit, which are tenths of a degree or percent,
// their Fahrenheit conversion or a limit stored to hundredths. The noise those conversions leave
// below a millionth is rounded off, so that the value prints as its shortest decimal
// (16.700000000000003 -> "16.7", 25.0 -> "25", -0.0 -> "0"); empty for a value that is not finite.
std::string measuredNumberText(double value);

} // namespace veldrin
