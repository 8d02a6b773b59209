#include "cli/alarm_text.h"

#include "core/number_text.h"

#include <charconv>

namespace veldrin::cli {
namespace {

constexpr int kTemperatureDecimals = 1;
constexpr int kMeanDecimals = 2;

std::string unitText(LimitKind kind, bool fahrenheit) {
    return isTemperatureLimit(kind) ? (fahrenheit ? "F" : "C") : "%";
}

std::string temperatureUnit(bool fahrenheit) {
    return fahrenheit ? "F" : "C";
}

// JSON numbers unrounded: the shortest text that reads back as the same double.
std::string jsonNumber(double value) {
    const std::string text = shortestNumberText(value);
    return text.empty() ? "null" : text;
}

// A reading, an extreme or a limit, as its shortest decimal.
std::string jsonMeasured(double value) {
    const std::string text = measuredNumberText(value);
    return text.empty() ? "null" : text;
}

std::string jsonBool(bool value) {
    return value ? "true" : "false";
}

std::string jsonString(const std::string& text) {
    return "\"" + text + "\""; // only names and times of our own making, nothing to escape
}

std::string jsonTime(const DateTime& time) {
    const std::string text = isoTimeText(time);
    return text.empty() ? "null" : jsonString(text);
}

// A limit, which may be off.
std::string jsonOptional(const std::optional<double>& value) {
    return value ? jsonMeasured(*value) : "null";
}

// Members joined into one object, two spaces deeper per level.
class JsonObject {
public:
    explicit JsonObject(int depth) : depth_(depth) {}
    JsonObject& add(const std::string& name, const std::string& value) {
        // Appended piece by piece: GCC 12 at -O3 takes a chain of temporaries for overlapping
        // copies.
        if (!body_.empty()) {
            body_ += ',';
        }
        body_ += '\n';
        body_.append(static_cast<std::size_t>(depth_ + 1) * 2, ' ');
        body_ += jsonString(name);
        body_ += ": ";
        body_ += value;
        return *this;
    }
    std::string text() const {
        return "{" + body_ + "\n" + std::string(static_cast<std::size_t>(depth_) * 2, ' ') + "}";
    }

private:
    int depth_;
    std::string body_;
};

std::string valueJson(const std::optional<ValueStatistics>& v, const std::optional<double>& mkt,
                      bool withMkt) {
    if (!v) {
        return "null";
    }
    JsonObject o(1);
    o.add("min", jsonMeasured(v->min))
        .add("min_time", jsonTime(v->minTime))
        .add("max", jsonMeasured(v->max))
        .add("max_time", jsonTime(v->maxTime))
        .add("mean", jsonNumber(v->mean))
        .add("stddev", jsonNumber(v->stddev));
    if (withMkt) {
        o.add("mkt", mkt ? jsonNumber(*mkt) : "null");
    }
    return o.text();
}

std::string valueLine(const char* name, const std::optional<ValueStatistics>& v,
                      const std::string& unit, int decimals) {
    if (!v) {
        return std::string(name) + ": no records";
    }
    return std::string(name) + ": minimum " + shortNumber(v->min, decimals) + " " + unit + " at " +
           isoTimeText(v->minTime) + ", maximum " + shortNumber(v->max, decimals) + " " + unit +
           " at " + isoTimeText(v->maxTime) + ", mean " + shortNumber(v->mean, kMeanDecimals) +
           " " + unit + ", standard deviation " + shortNumber(v->stddev, kMeanDecimals) + " " +
           unit;
}

std::string minutesText(int64_t minutes) {
    return std::to_string(minutes) + " min";
}

// An event cut by an edge of the period (its figures are those of the part inside it):
// " (began earlier, still going on)".
std::string cutText(const AlarmEvent& e) {
    std::string text;
    if (e.openStart) {
        text += " (began earlier";
    }
    if (e.openEnd) {
        text += text.empty() ? " (still going on" : ", still going on";
    }
    return text.empty() ? text : text + ")";
}

} // namespace

std::string isoTimeText(const DateTime& time) {
    return calendarText(time, 'T');
}

std::string shortNumber(double value, int decimals) {
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    std::string text(buffer, result.ptr);
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0') {
            text.pop_back();
        }
        if (text.back() == '.') {
            text.pop_back();
        }
    }
    return text == "-0" ? "0" : text;
}

std::optional<double> displayLimit(const AlarmLimits& limits, LimitKind kind, bool fahrenheit) {
    const auto& limit = limits[kind];
    if (!limit) {
        return std::nullopt;
    }
    return isTemperatureLimit(kind) ? displayTemperature(*limit, fahrenheit) : *limit;
}

std::vector<std::pair<std::string, std::string>> limitEntries(const AlarmLimits& limits,
                                                              bool fahrenheit) {
    std::vector<std::pair<std::string, std::string>> entries;
    for (const LimitKind kind : kLimitKinds) {
        const auto value = displayLimit(limits, kind, fahrenheit);
        entries.emplace_back(limitName(kind),
                             value ? measuredNumberText(*value) + " " + unitText(kind, fahrenheit)
                                   : std::string("off"));
    }
    entries.emplace_back("delay", minutesText(limits.delayMinutes));
    return entries;
}

std::vector<std::string> limitLines(const AlarmLimits& limits, bool fahrenheit) {
    std::vector<std::string> lines;
    for (const auto& [name, value] : limitEntries(limits, fahrenheit)) {
        lines.push_back(name + ": " + value);
    }
    return lines;
}

std::vector<std::string> statisticsLines(long recorder, const WindowStatistics& stats,
                                         const AlarmLimits& limits) {
    const bool f = stats.fahrenheit;
    std::vector<std::string> lines;
    std::string head = "recorder " + std::to_string(recorder) + ": " +
                       std::to_string(stats.records) +
                       (stats.records == 1 ? " record" : " records");
    if (stats.records > 0) {
        head += ", " + isoTimeText(stats.first) + " to " + isoTimeText(stats.last);
    }
    lines.push_back(head);
    lines.push_back(
        valueLine("temperature", stats.temperature, temperatureUnit(f), kTemperatureDecimals));
    if (stats.meanKineticTemperature) {
        lines.back() += ", mean kinetic temperature " +
                        shortNumber(*stats.meanKineticTemperature, kMeanDecimals) + " " +
                        temperatureUnit(f);
    }
    lines.push_back(valueLine("humidity", stats.humidity, "%", 0));
    std::string limitsLine = "limits:";
    for (const auto& [name, value] : limitEntries(limits, f)) {
        limitsLine += (limitsLine.size() > 7 ? ", " : " ") + name + " " + value;
    }
    lines.push_back(limitsLine);
    for (const LimitKind kind : kLimitKinds) {
        if (!limits[kind]) {
            continue;
        }
        const LimitSummary& s = stats.perLimit[static_cast<std::size_t>(kind)];
        std::string line = std::string(limitName(kind)) + ": " + std::to_string(s.events) +
                           (s.events == 1 ? " event" : " events");
        if (s.firstStart) {
            line += ", " + minutesText(s.minutes) + " out of range, first at " +
                    isoTimeText(*s.firstStart);
        }
        // Short runs too, which the delay keeps from being events.
        line += "; " + minutesText(s.minutesBeyond) + " beyond the limit in all";
        lines.push_back(line);
    }
    for (const AlarmEvent& e : stats.events) {
        lines.push_back("event " + std::string(limitName(e.limit)) + ": " + isoTimeText(e.start) +
                        " to " + isoTimeText(e.end) + ", " + std::to_string(e.records) +
                        (e.records == 1 ? " record, " : " records, ") + minutesText(e.minutes) +
                        ", extreme " + shortNumber(e.extreme, kTemperatureDecimals) + " " +
                        unitText(e.limit, f) + cutText(e));
    }
    return lines;
}

std::string statisticsJson(long recorder, const WindowStatistics& stats, const AlarmLimits& limits,
                           const std::string& fingerprint) {
    const bool f = stats.fahrenheit;
    const bool any = stats.records > 0;
    JsonObject limitsObject(1);
    JsonObject perLimit(1);
    for (const LimitKind kind : kLimitKinds) {
        const std::string name(limitName(kind));
        limitsObject.add(name, jsonOptional(displayLimit(limits, kind, f)));
        const LimitSummary& s = stats.perLimit[static_cast<std::size_t>(kind)];
        perLimit.add(name, JsonObject(2)
                               .add("events", std::to_string(s.events))
                               .add("minutes", std::to_string(s.minutes))
                               .add("minutes_beyond", std::to_string(s.minutesBeyond))
                               .add("first_start", s.firstStart ? jsonTime(*s.firstStart) : "null")
                               .text());
    }
    limitsObject.add("delay_minutes", std::to_string(limits.delayMinutes));
    std::string events = "[";
    for (const AlarmEvent& e : stats.events) {
        events += (events.size() > 1 ? ",\n    " : "\n    ") +
                  JsonObject(2)
                      .add("limit", jsonString(std::string(limitName(e.limit))))
                      .add("start", jsonTime(e.start))
                      .add("end", jsonTime(e.end))
                      .add("records", std::to_string(e.records))
                      .add("minutes", std::to_string(e.minutes))
                      .add("extreme", jsonMeasured(e.extreme))
                      .add("open_start", jsonBool(e.openStart))
                      .add("open_end", jsonBool(e.openEnd))
                      .text();
    }
    events += stats.events.empty() ? "]" : "\n  ]";
    JsonObject root(0);
    root.add("recorder", std::to_string(recorder))
        .add("records", std::to_string(stats.records))
        .add("first", any ? jsonTime(stats.first) : "null")
        .add("last", any ? jsonTime(stats.last) : "null")
        .add("unit", jsonString(f ? "F" : "C"))
        .add("temperature", valueJson(stats.temperature, stats.meanKineticTemperature, true))
        .add("humidity", valueJson(stats.humidity, std::nullopt, false))
        .add("limits", limitsObject.text())
        .add("per_limit", perLimit.text())
        .add("events", events)
        .add("fingerprint", fingerprint.empty() ? "null" : jsonString(fingerprint));
    return root.text() + "\n";
}

std::string transitionValueText(const AlarmTransition& transition) {
    return shortNumber(transition.value,
                       isTemperatureLimit(transition.limit) ? kTemperatureDecimals : 0);
}

} // namespace veldrin::cli
