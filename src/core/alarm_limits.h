#pragma once
// A recorder's alarm limits: each of the four is optional; temperatures are kept in degrees
// Celsius whatever unit the recorder shows, humidity in percent.

#include <array>
#include <optional>
#include <string_view>

namespace veldrin {

enum class LimitKind { tempHigh = 0, tempLow = 1, humHigh = 2, humLow = 3 };
inline constexpr std::array<LimitKind, 4> kLimitKinds{LimitKind::tempHigh, LimitKind::tempLow,
                                                      LimitKind::humHigh, LimitKind::humLow};

constexpr bool isTemperatureLimit(LimitKind kind) {
    return kind == LimitKind::tempHigh || kind == LimitKind::tempLow;
}
constexpr bool isHighLimit(LimitKind kind) {
    return kind == LimitKind::tempHigh || kind == LimitKind::humHigh;
}

// "temp-high", "temp-low", "hum-high", "hum-low": the names the command line and JSON use.
std::string_view limitName(LimitKind kind);
std::optional<LimitKind> limitFromName(std::string_view name);

struct AlarmLimits {
    std::optional<double> tempHigh; // degrees Celsius
    std::optional<double> tempLow;  // degrees Celsius
    std::optional<double> humHigh;  // percent
    std::optional<double> humLow;   // percent
    int delayMinutes = 0;           // an excursion shorter than this is not an event

    std::optional<double>& operator[](LimitKind kind);
    const std::optional<double>& operator[](LimitKind kind) const;
    bool any() const { return tempHigh || tempLow || humHigh || humLow; }
    friend bool operator==(const AlarmLimits&, const AlarmLimits&) = default;
};

} // namespace veldrin
