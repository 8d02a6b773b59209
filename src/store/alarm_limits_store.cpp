#include "store/alarm_limits_store.h"

#include "core/shown_text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <utility>

namespace veldrin {
namespace {

constexpr const char* kDelayKey = "DelayMinutes";
constexpr double kLowestTemperatureLimit = -100.0;
constexpr double kHighestTemperatureLimit = 100.0;
constexpr double kHighestHumidityLimit = 100.0;
constexpr double kStoredLimitSteps = 100.0; // per degree or percent
constexpr std::array<const char*, 4> kLimitKeys{"TempHigh", "TempLow", "HumHigh", "HumLow"};

const char* limitKey(LimitKind kind) {
    return kLimitKeys[static_cast<std::size_t>(kind)];
}

std::string quoted(const std::string& text) {
    return shownValue(text);
}

std::string where(int32_t number) {
    return "main.ini, [" + alarmLimitsSection(number) + "]: ";
}

std::optional<int> parseDelay(std::string_view text) {
    int value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size() ||
        value < 0) {
        return std::nullopt;
    }
    return value;
}

// A low limit above its high one leaves no value in range: which of the two is wrong cannot be
// known, so the pair is off.
void dropCrossedPair(AlarmLimits& limits, LimitKind high, LimitKind low, const char* what,
                     int32_t number, std::vector<std::string>& problems) {
    if (limits[high] && limits[low] && *limits[low] > *limits[high]) {
        problems.push_back(where(number) + limitKey(low) + " " + limitNumberText(*limits[low]) +
                           " lies above " + limitKey(high) + " " + limitNumberText(*limits[high]) +
                           "; both " + what + " limits are off");
        limits[high].reset();
        limits[low].reset();
    }
}

} // namespace

std::string alarmLimitsSection(int32_t number) {
    return "Alarm Limits " + std::to_string(number);
}

std::optional<double> parseLimitNumber(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    double value = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size() ||
        !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::string limitNumberText(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

StoredAlarmLimits readAlarmLimits(const IniSnapshot& ini, int32_t number) {
    StoredAlarmLimits out;
    const std::string section = alarmLimitsSection(number);
    for (const LimitKind kind : kLimitKinds) {
        const auto text = ini.value(section, limitKey(kind));
        if (!text || text->empty()) {
            continue;
        }
        out.limits[kind] = parseLimitNumber(*text);
        if (!out.limits[kind]) {
            out.problems.push_back(where(number) + limitKey(kind) + " " + quoted(*text) +
                                   " is not a number; the limit is off");
        } else if (!isPlausibleLimit(kind, *out.limits[kind])) {
            out.limits[kind].reset();
            out.problems.push_back(where(number) + limitKey(kind) + " " + quoted(*text) +
                                   " lies outside what a record can hold; the limit is off");
        }
    }
    if (const auto text = ini.value(section, kDelayKey); text && !text->empty()) {
        if (const auto delay = parseDelay(*text)) {
            out.limits.delayMinutes = *delay;
        } else {
            out.problems.push_back(where(number) + kDelayKey + " " + quoted(*text) +
                                   " is not a number of minutes; no delay is used");
        }
    }
    dropCrossedPair(out.limits, LimitKind::tempHigh, LimitKind::tempLow, "temperature", number,
                    out.problems);
    dropCrossedPair(out.limits, LimitKind::humHigh, LimitKind::humLow, "humidity", number,
                    out.problems);
    return out;
}

bool isPlausibleLimit(LimitKind kind, double value) {
    return isTemperatureLimit(kind)
               ? value >= kLowestTemperatureLimit && value <= kHighestTemperatureLimit
               : value >= 0.0 && value <= kHighestHumidityLimit;
}

double storedLimit(double value) {
    return std::round(value * kStoredLimitSteps) / kStoredLimitSteps;
}

std::string alarmLimitsFault(const AlarmLimits& limits) {
    for (const LimitKind kind : kLimitKinds) {
        if (limits[kind] && !std::isfinite(*limits[kind])) {
            return std::string(limitName(kind)) + " is not a number";
        }
        if (limits[kind] && !isPlausibleLimit(kind, *limits[kind])) {
            return std::string(limitName(kind)) + " " + limitNumberText(*limits[kind]) +
                   (isTemperatureLimit(kind) ? " lies outside -100 to 100 C"
                                             : " lies outside 0 to 100 %");
        }
    }
    if (limits.tempHigh && limits.tempLow && *limits.tempLow > *limits.tempHigh) {
        return "the low temperature limit lies above the high one";
    }
    if (limits.humHigh && limits.humLow && *limits.humLow > *limits.humHigh) {
        return "the low humidity limit lies above the high one";
    }
    if (limits.delayMinutes < 0) {
        return "the delay is negative";
    }
    return {};
}

bool writeAlarmLimits(IniFile& ini, int32_t number, const AlarmLimits& limits, std::string& error) {
    AlarmLimitKeys all;
    all.limits.fill(true);
    all.delay = true;
    return writeAlarmLimits(ini, number, limits, all, error);
}

bool writeAlarmLimits(IniFile& ini, int32_t number, const AlarmLimits& wanted,
                      const AlarmLimitKeys& keys, std::string& error) {
    const IniSnapshot stored = ini.snapshot();
    const std::string section = alarmLimitsSection(number);
    // The limits as main.ini will hold them; a key not written keeps its stored value.
    AlarmLimits after = wanted;
    for (const LimitKind kind : kLimitKinds) {
        if (!keys.limits[static_cast<std::size_t>(kind)]) {
            const auto text = stored.value(section, limitKey(kind));
            after[kind] = text ? parseLimitNumber(*text) : std::nullopt;
            if (after[kind] && !isPlausibleLimit(kind, *after[kind])) {
                after[kind].reset(); // off as every reader takes it
            }
        }
    }
    if (!keys.delay) {
        after.delayMinutes = 0;
    }
    const auto written = [&](LimitKind kind) {
        return keys.limits[static_cast<std::size_t>(kind)];
    };
    AlarmLimits judged = after;
    // A pair of which nothing is written is the user's as it stands.
    for (const auto& [high, low] : {std::pair{LimitKind::tempHigh, LimitKind::tempLow},
                                    std::pair{LimitKind::humHigh, LimitKind::humLow}}) {
        if (!written(high) && !written(low)) {
            judged[high].reset();
            judged[low].reset();
        }
    }
    if (std::string fault = alarmLimitsFault(judged); !fault.empty()) {
        error = fault;
        return false;
    }
    std::vector<std::pair<std::string, std::string>> entries;
    for (const LimitKind kind : kLimitKinds) {
        if (written(kind)) {
            entries.emplace_back(limitKey(kind), wanted[kind]
                                                     ? limitNumberText(storedLimit(*wanted[kind]))
                                                     : std::string());
        }
    }
    if (keys.delay) {
        entries.emplace_back(kDelayKey, std::to_string(wanted.delayMinutes));
    }
    if (!entries.empty() && !ini.writeStrings(section, entries)) {
        error = ini.lastError();
        return false;
    }
    return true;
}

} // namespace veldrin
