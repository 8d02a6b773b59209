#pragma once
// The one conversion between the stored Celsius values and the unit a recorder shows, shared by
// the chart, the list, the exports and the statistics so that they never disagree.

namespace veldrin {

inline constexpr double kFahrenheitFactor = 1.8;
inline constexpr double kFahrenheitOffset = 32.0;

// Display-unit value of a stored Celsius temperature.
constexpr double displayTemperature(double celsius, bool fahrenheit) {
    return fahrenheit ? celsius * kFahrenheitFactor + kFahrenheitOffset : celsius;
}

// Celsius value of a temperature given in the display unit.
constexpr double celsiusFromDisplay(double value, bool fahrenheit) {
    return fahrenheit ? (value - kFahrenheitOffset) / kFahrenheitFactor : value;
}

// A temperature difference (a standard deviation) in the display unit.
constexpr double displayTemperatureSpan(double celsiusSpan, bool fahrenheit) {
    return fahrenheit ? celsiusSpan * kFahrenheitFactor : celsiusSpan;
}

} // namespace veldrin
