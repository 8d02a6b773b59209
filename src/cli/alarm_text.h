#pragma once
// How limits, statistics and alarm transitions are written by veldrin-cli: as lines for people
// and as JSON for programs. Numbers always with a dot, whatever the locale.

#include "analysis/statistics.h"
#include "core/alarm_limits.h"
#include "core/date_time.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace veldrin::cli {

// "YYYY-MM-DDTHH:MM:SS", local time; empty for a value that is not a time.
std::string isoTimeText(const DateTime& time);

// A value for people: at most `decimals` places, trailing zeros dropped ("8", "25.5").
std::string shortNumber(double value, int decimals);

// A limit as set in main.ini (Celsius), in the display unit; none when it is off.
std::optional<double> displayLimit(const AlarmLimits& limits, LimitKind kind, bool fahrenheit);

// ("temp-high", "8 C"), ("hum-low", "off"), ..., ("delay", "30 min").
std::vector<std::pair<std::string, std::string>> limitEntries(const AlarmLimits& limits,
                                                              bool fahrenheit);
// "temp-high: 8 C", "hum-low: off", ..., "delay: 30 min": one line each.
std::vector<std::string> limitLines(const AlarmLimits& limits, bool fahrenheit);

std::vector<std::string> statisticsLines(long recorder, const WindowStatistics& stats,
                                         const AlarmLimits& limits);
// `fingerprint`: the SHA-256 of the window's records (store/data_file.h), null when not given.
std::string statisticsJson(long recorder, const WindowStatistics& stats, const AlarmLimits& limits,
                           const std::string& fingerprint = {});

// A transition's value as the alarm program gets it: tenths of a degree, whole percent.
std::string transitionValueText(const AlarmTransition& transition);

} // namespace veldrin::cli
