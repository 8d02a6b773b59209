#pragma once
// A recorder's alarm limits in main.ini, section "[Alarm Limits N]": TempHigh, TempLow (degrees
// Celsius), HumHigh, HumLow (percent) and DelayMinutes. Numbers are written and read with a dot
// whatever the locale; an empty or missing value is a limit that is off. What cannot be used (a
// value that is not a number, a low limit above its high one, a negative delay) switches that
// limit off and is said in `problems`, in words for the user; nothing here ever fails harder.

#include "core/alarm_limits.h"
#include "store/ini_file.h"

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace veldrin {

std::string alarmLimitsSection(int32_t number); // "Alarm Limits 3"

struct StoredAlarmLimits {
    AlarmLimits limits;
    std::vector<std::string> problems;
};
StoredAlarmLimits readAlarmLimits(const IniSnapshot& ini, int32_t number);

// Whether a limit (Celsius or percent) lies where a record can reach: -100 ... +100 C, a wide
// bound around the recorders' own range, and 0 ... 100 %.
bool isPlausibleLimit(LimitKind kind, double value);

// Why these limits cannot be stored (a low limit above its high one, a value that is not a
// finite number or not plausible, a negative delay); empty when they can.
std::string alarmLimitsFault(const AlarmLimits& limits);

// A limit as main.ini stores it: rounded to 0.01 (a Fahrenheit entry converts with noise:
// 46.4 F is 7.999999999999999 C).
double storedLimit(double value);

// Writes all five keys in one replacement of main.ini. Refused (with `error`) when
// alarmLimitsFault finds a fault or the file cannot be replaced; the old file then stays.
bool writeAlarmLimits(IniFile& ini, int32_t number, const AlarmLimits& limits, std::string& error);

// The keys a change names: the limits it sets or switches off, and the delay when it sets it.
struct AlarmLimitKeys {
    std::array<bool, 4> limits{}; // indexed by LimitKind
    bool delay = false;
};
// Only the keys in `keys` are written, with their values from `wanted`: every other key stays as
// the user wrote it, byte for byte, even a value that cannot be used. Refused (with `error`) when
// a written value is not finite or a negative delay, or when a pair with a written side would
// cross the other side as main.ini holds it; a pair left alone is not judged here (readAlarmLimits
// says what is wrong with it).
bool writeAlarmLimits(IniFile& ini, int32_t number, const AlarmLimits& wanted,
                      const AlarmLimitKeys& keys, std::string& error);

// A limit value as main.ini and the command line hold it: a decimal number with a dot (an
// exponent and a leading sign allowed), the whole text, finite.
std::optional<double> parseLimitNumber(std::string_view text);
// The shortest text that reads back as the same number, with a dot.
std::string limitNumberText(double value);

// Remembers the problems already said, so that limits read again and again (at every download)
// report each fault once.
class ReportedOnce {
public:
    bool isNew(const std::string& message) { return said_.insert(message).second; }

private:
    std::set<std::string> said_;
};

} // namespace veldrin
