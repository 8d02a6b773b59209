#include "sim/sim_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>

namespace veldrin::sim {
namespace {

// Whole number in decimal or 0x hexadecimal, within [low, high].
bool parseInteger(const std::string& text, int64_t low, int64_t high, int64_t& out) {
    if (text.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 0);
    if (errno != 0 || end == text.c_str() || *end != '\0' || value < low || value > high) {
        return false;
    }
    out = value;
    return true;
}

template <typename T> bool parseInto(const std::string& text, int64_t low, int64_t high, T& out) {
    int64_t value = 0;
    if (!parseInteger(text, low, high, value)) {
        return false;
    }
    out = static_cast<T>(value);
    return true;
}

bool parseFrame(const std::string& text, uint64_t& out) {
    return parseInto(text, 1, INT64_MAX, out);
}

bool parseIdentity(const std::string& text, std::optional<RecorderIdentity>& out) {
    if (text == "blank") {
        out.reset();
        return true;
    }
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t slash = text.find('/');; slash = text.find('/', from)) {
        parts.push_back(text.substr(from, slash - from));
        if (slash == std::string::npos) {
            break;
        }
        from = slash + 1;
    }
    RecorderIdentity id;
    if (parts.size() == 2 && parseInto(parts[0], 0, 0xFFFF, id.high) &&
        parseInto(parts[1], 0, 0xFFFF, id.low)) {
        id.product = uint32_t{id.high} * uint32_t{id.low};
    } else if (!(parts.size() == 3 && parseInto(parts[0], 0, 0xFFFFFFFF, id.product) &&
                 parseInto(parts[1], 0, 0xFFFF, id.high) &&
                 parseInto(parts[2], 0, 0xFFFF, id.low))) {
        return false;
    }
    out = id;
    return true;
}

bool parseCircular(const std::string& text, uint8_t& out) {
    if (text == "linear") {
        out = 0x00;
    } else if (text == "circular") {
        out = 0x02;
    } else if (text == "none") {
        out = 0xFF;
    } else {
        return parseInto(text, 0, 0xFF, out);
    }
    return true;
}

bool parseVersion(const std::string& text, RecorderConfig& config) {
    const std::size_t dot = text.find('.');
    return dot != std::string::npos &&
           parseInto(text.substr(0, dot), 0, 0xFF, config.versionMajor) &&
           parseInto(text.substr(dot + 1), 0, 0xFF, config.versionMinor);
}

bool parseAcceleration(const std::string& text, double& out) {
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || errno != 0 || *end != '\0' || !std::isfinite(value) || value < 1.0 ||
        value > 1e6) {
        return false;
    }
    out = value;
    return true;
}

bool parseSlot(const std::string& text, std::vector<SlotWindow>& slots) {
    const std::size_t comma = text.find(',');
    SlotWindow w;
    if (comma == std::string::npos || slots.size() >= static_cast<std::size_t>(kSlotCount) ||
        !parseDateTimeText(text.substr(0, comma).c_str(), w.start) ||
        !parseDateTimeText(text.substr(comma + 1).c_str(), w.end)) {
        return false;
    }
    slots.push_back(w);
    return true;
}

using Setter = std::function<bool(const std::string&, SimProgramOptions&)>;

const std::map<std::string, Setter>& valueOptions() {
    static const std::map<std::string, Setter> options = {
        {"--socket",
         [](const std::string& v, SimProgramOptions& o) {
             o.socketPath = v;
             return !v.empty();
         }},
        {"--hidg",
         [](const std::string& v, SimProgramOptions& o) {
             o.hidgPath = v;
             return !v.empty();
         }},
        {"--udc-file",
         [](const std::string& v, SimProgramOptions& o) {
             o.udcFile = v;
             return !v.empty();
         }},
        {"--series",
         [](const std::string& v, SimProgramOptions& o) {
             if (v != "counting") {
                 return false;
             }
             o.config.series = countingSeries();
             return true;
         }},
        {"--identity", [](const std::string& v,
                          SimProgramOptions& o) { return parseIdentity(v, o.config.identity); }},
        {"--header-fill",
         [](const std::string& v, SimProgramOptions& o) {
             uint8_t fill = 0;
             if (!parseInto(v, 0, 0xFF, fill)) {
                 return false;
             }
             o.config.headerFill = fill;
             return true;
         }},
        {"--records",
         [](const std::string& v, SimProgramOptions& o) {
             return parseInto(v, 0, 1'000'000'000, o.config.preloadRecords);
         }},
        {"--interval",
         [](const std::string& v, SimProgramOptions& o) {
             return parseInto(v, 0, 0xFF, o.config.interval);
         }},
        {"--circular",
         [](const std::string& v, SimProgramOptions& o) {
             return parseCircular(v, o.config.circularMode);
         }},
        {"--unit",
         [](const std::string& v, SimProgramOptions& o) {
             if (v != "celsius" && v != "fahrenheit") {
                 return false;
             }
             o.config.tempUnit = v == "celsius" ? 0xFF : 0x00;
             return true;
         }},
        {"--date-order",
         [](const std::string& v, SimProgramOptions& o) {
             if (v != "day-month" && v != "month-day") {
                 return false;
             }
             o.config.dateOrder = v == "day-month" ? 0xFF : 0x00;
             return true;
         }},
        {"--version",
         [](const std::string& v, SimProgramOptions& o) { return parseVersion(v, o.config); }},
        {"--release",
         [](const std::string& v, SimProgramOptions& o) {
             return parseInto(v, 0, 0xFFFF, o.config.attributes.release);
         }},
        {"--clock-offset",
         [](const std::string& v, SimProgramOptions& o) {
             constexpr int64_t kCentury = 100LL * 366 * 86400;
             return parseInto(v, -kCentury, kCentury, o.config.clockOffsetSeconds);
         }},
        {"--acceleration",
         [](const std::string& v, SimProgramOptions& o) {
             return parseAcceleration(v, o.config.acceleration);
         }},
        {"--answer-delay-ms",
         [](const std::string& v, SimProgramOptions& o) {
             return parseInto(v, 0, 1000, o.config.answerDelayMs);
         }},
        {"--slot",
         [](const std::string& v, SimProgramOptions& o) { return parseSlot(v, o.config.slots); }},
        {"--silent-frame",
         [](const std::string& v, SimProgramOptions& o) {
             return parseFrame(v, o.faults.silentFrame);
         }},
        {"--wrong-ack-frame",
         [](const std::string& v, SimProgramOptions& o) {
             return parseFrame(v, o.faults.wrongAckFrame);
         }},
        {"--unstable-read-frame",
         [](const std::string& v, SimProgramOptions& o) {
             return parseFrame(v, o.faults.unstableReadFrame);
         }},
        {"--unstable-reads",
         [](const std::string& v, SimProgramOptions& o) {
             return parseInto(v, -1, INT32_MAX, o.faults.unstableReads);
         }},
        {"--short-report-frame",
         [](const std::string& v, SimProgramOptions& o) {
             return parseFrame(v, o.faults.shortReportFrame);
         }},
        {"--short-report-length",
         [](const std::string& v, SimProgramOptions& o) {
             return parseInto(v, 0, 8, o.faults.shortReportLength);
         }},
        {"--hang-up-frame",
         [](const std::string& v, SimProgramOptions& o) {
             return parseFrame(v, o.faults.hangUpFrame);
         }},
        {"--unplug-frame",
         [](const std::string& v, SimProgramOptions& o) {
             return parseFrame(v, o.faults.unplugFrame);
         }},
        {"--replug-after-ms",
         [](const std::string& v, SimProgramOptions& o) {
             return parseInto(v, 0, 86'400'000, o.replugAfterMs);
         }},
        {"--refuse-clock",
         [](const std::string& v, SimProgramOptions& o) {
             return parseInto(v, -1, INT32_MAX, o.faults.refuseClockSettings);
         }},
    };
    return options;
}

} // namespace

bool parseSimOptions(const std::vector<std::string>& args, SimProgramOptions& out,
                     std::string& error) {
    out = SimProgramOptions{};
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool hasValue = false;
        if (const std::size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != name.npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            hasValue = true;
        }
        if (name == "--help" || name == "-h") {
            out.help = true;
            continue;
        }
        if (name == "--trace") {
            out.trace = true;
            continue;
        }
        const auto option = valueOptions().find(name);
        if (option == valueOptions().end()) {
            error = "unknown option " + name;
            return false;
        }
        if (!hasValue) {
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return false;
            }
            value = args[++i];
        }
        if (!option->second(value, out)) {
            error = "bad value for " + name + ": " + value;
            return false;
        }
    }
    if (!out.help && out.socketPath.empty() && out.hidgPath.empty()) {
        error = "--socket PATH or --hidg PATH is required";
        return false;
    }
    if (!out.udcFile.empty() && out.hidgPath.empty()) {
        error = "--udc-file needs --hidg";
        return false;
    }
    return true;
}

std::vector<Measurement> countingSeries() {
    std::vector<Measurement> series(kCountingSeriesLength);
    for (int k = 0; k < kCountingSeriesLength; ++k) {
        series[static_cast<std::size_t>(k)].celsius = (k % kCountingRawSteps) * 0.1 - 40.0;
        series[static_cast<std::size_t>(k)].humidity = 1 + k / kCountingRawSteps;
    }
    return series;
}

int countingIndex(int rawTemperature, int humidity) {
    if (rawTemperature < 0 || rawTemperature >= kCountingRawSteps || humidity < 1 ||
        humidity > kCountingHumiditySteps) {
        return -1;
    }
    return (humidity - 1) * kCountingRawSteps + rawTemperature;
}

std::string simUsage() {
    return R"(Usage: veldrin-recorder-sim --socket PATH [options]
       veldrin-recorder-sim --hidg DEVICE [--udc-file FILE] [options]

Serves a software temperature/humidity recorder on a Unix-domain socket, for the
socket:PATH backend of the Veldrin programs. Prints "listening on PATH" once ready;
runs until interrupted (SIGINT or SIGTERM), then removes the socket file.

With --hidg it serves the HID function of a Linux USB gadget instead (or as well):
DEVICE is the gadget's device file (/dev/hidgN), whose host then finds the recorder
on its USB bus through the hid backend. Prints "serving DEVICE" once ready. The
gadget's vendor, product and release (bcdDevice) are the gadget's own; --release
has no effect there.
  --udc-file FILE           the gadget's UDC file in configfs: unplugging the recorder
                            (--unplug-frame) unbinds the gadget, plugging it in again
                            (--replug-after-ms) binds it, and a gadget bound again
                            from outside plugs the recorder in

Recorder:
  --identity blank|HIGH/LOW|PRODUCT/HIGH/LOW   identity in the header (default blank)
  --header-fill BYTE        a recorder never set up: whole header reads as BYTE
  --records N               history preloaded at start (default 0)
  --interval MINUTES        logging interval, 0 to 255 (default 1; 0 stops recording)
  --circular linear|circular|none|BYTE   recording mode byte (default circular)
  --unit celsius|fahrenheit             (default celsius)
  --date-order day-month|month-day      (default day-month)
  --version MAJOR.MINOR     version bytes (default 1.0)
  --release NUMBER          device release (default 0x0100; 0x0101 is not a recorder)
  --clock-offset SECONDS    recorder clock minus PC clock (negative: it lags)
  --acceleration FACTOR     records come FACTOR times as often (1 to 1e6; clock unaffected)
  --answer-delay-ms MS      each host frame answered MS milliseconds later (0 to 1000;
                            default 0)
  --slot "START,END"        a recording time slot, "YYYY-MM-DD HH:MM" each (up to 4)
  --series counting         record k has raw temperature k mod 1201 and humidity
                            1 + (k div 1201) mod 99 (default: a generated daily curve)

Faults (host frames are counted from 1 on all connections):
  --silent-frame N          frame N is ignored and not answered
  --wrong-ack-frame N       first acknowledgement from frame N on ends in 00
  --unstable-read-frame N   reads from frame N on answer with one byte altered ...
  --unstable-reads K        ... for K reads (default 1; -1: for ever)
  --short-report-frame N    first answer from frame N on is short ...
  --short-report-length L   ... with L bytes (default 5; the rest reads as 0)
  --hang-up-frame N         the connection is cut in the middle of the first answer from N on
  --unplug-frame N          unplugged after frame N: connections closed, new ones refused
  --replug-after-ms MS      plugged in again MS milliseconds after an unplug
  --refuse-clock K          ignore K clock settings (-1: all)

Other:
  --trace                   print every host frame on stdout ("frame A1 00 00 20 A1 00 00 20")
  --help                    this text
)";
}

} // namespace veldrin::sim
