#include "cli/cli_options.h"

#include "cli/exit_status.h"
#include "cli/stop_request.h"
#include "core/period_bound.h"
#include "core/shown_text.h"
#include "device/backend_registry.h"
#include "device/socket_check.h"
#include "store/alarm_limits_store.h"

#if VELDRIN_HAVE_MQTT
#include "publish/broker_url.h"
#endif

#include <algorithm>
#include <charconv>
#include <functional>
#include <initializer_list>
#include <iterator>

namespace veldrin::cli {
namespace {

constexpr int kMaxWaitSeconds = 86400;
#if VELDRIN_HAVE_MQTT
constexpr bool kMqttBuilt = true;
#else
constexpr bool kMqttBuilt = false;
#endif
constexpr long kMaxRate = 1000000;
constexpr int kFirstSlot = 1;
constexpr int kLastSlot = 4;

using Values = std::vector<std::string>;
// Takes an option's values into the request; false with a message naming the value.
using Setter = std::function<bool(const Values&, CliRequest&, std::string&)>;

struct OptionSpec {
    const char* name;
    int arity;
    std::vector<Command> commands; // empty: a global option
    Setter set;
};

constexpr CommandSpec kCommands[] = {
    {.name = "sync", .command = Command::sync, .needsRecorder = false},
    {.name = "watch", .command = Command::watch, .needsRecorder = false},
    {.name = "info", .command = Command::info, .needsRecorder = false},
    {.name = "list", .command = Command::list, .needsRecorder = false},
    {.name = "export", .command = Command::exportRecords, .needsRecorder = true},
    {.name = "clear", .command = Command::clear, .needsRecorder = true},
    {.name = "configure", .command = Command::configure, .needsRecorder = false},
    {.name = "limits", .command = Command::limits, .needsRecorder = true},
    {.name = "stats", .command = Command::stats, .needsRecorder = true},
#if VELDRIN_HAVE_MQTT
    {.name = "mqtt-forget", .command = Command::mqttForget, .needsRecorder = true},
#endif
};

// --recorder belongs to the commands that need it, and to those that take it.
std::vector<Command> commandsNeedingARecorder() {
    std::vector<Command> commands;
    for (const CommandSpec& spec : kCommands) {
        if (spec.needsRecorder) {
            commands.push_back(spec.command);
        }
    }
    return commands;
}

// info and configure take --recorder too: with several recorders attached it names the one.
std::vector<Command> commandsTakingARecorder() {
    std::vector<Command> commands = commandsNeedingARecorder();
    commands.push_back(Command::info);
    commands.push_back(Command::configure);
    return commands;
}

bool parseWhole(const std::string& text, long& out) {
    const char* first = text.data();
    const char* last = first + text.size();
    const auto result = std::from_chars(first, last, out);
    return !text.empty() && result.ec == std::errc() && result.ptr == last;
}

std::string quoted(const std::string& text) {
    return shownValue(text);
}

bool invalid(std::string& error, const std::string& what) {
    error = what;
    return false;
}

bool parseTime(const std::string& option, const std::string& text, DateTime& out,
               std::string& error) {
    using Fault = DateTimeText::Fault;
    const DateTimeText read = readDateTimeText(text.c_str());
    switch (read.fault) {
    case Fault::none:
        out = read.time;
        return true;
    case Fault::noSuchDate:
        return invalid(error, option + ": " + quoted(text) + ": there is no such date");
    case Fault::noSuchTime:
        return invalid(error, option + ": " + quoted(text) + ": there is no such time of day");
    case Fault::notATime:
        break;
    }
    return invalid(error, option + ": " + quoted(text) +
                              " is not a time \"YYYY-MM-DD HH:MM\" or \"YYYY-MM-DD HH:MM:SS\"");
}

// The period's ends as veldrin --report reads them (core/period_bound.h).
bool setPeriodBound(const char* option, const std::string& text, PeriodEnd end,
                    std::optional<DateTime>& out, std::string& error) {
    const PeriodBound bound = readPeriodBound(option, text, end);
    out = bound.time;
    return bound.time.has_value() || invalid(error, bound.problem);
}

bool parseSlotNumber(const std::string& option, const std::string& text, int& out,
                     std::string& error) {
    long value = 0;
    if (!parseWhole(text, value) || value < kFirstSlot || value > kLastSlot) {
        return invalid(error, option + ": slot " + quoted(text) + " is not a number 1 to 4");
    }
    out = static_cast<int>(value);
    return true;
}

// A value out of a fixed list; its position in `choices`.
bool parseChoice(const std::string& option, const std::string& text,
                 std::initializer_list<const char*> choices, int& out, std::string& error) {
    int index = 0;
    std::string names;
    for (const char* choice : choices) {
        if (text == choice) {
            out = index;
            return true;
        }
        names += (index == 0 ? "" : " or ") + std::string(choice);
        ++index;
    }
    return invalid(error, option + ": " + quoted(text) + " is not " + names);
}

// A file option of --mqtt: the name may not be empty; whether it can be read is checked at start.
Setter fileSetter(const char* option, std::string PublishRequest::*field) {
    return [option, field](const Values& v, CliRequest& r, std::string& e) {
        r.publish.*field = v[0];
        return !v[0].empty() || invalid(e, std::string(option) + ": the file name is empty");
    };
}

std::string topicPrefixFault(const std::string& prefix) {
#if VELDRIN_HAVE_MQTT
    return publish::topicPrefixFault(prefix);
#else
    (void)prefix;
    return {};
#endif
}

// The names the program's backend registry knows (hid, sim, socket:PATH).
bool setDevice(const Values& v, CliRequest& r, std::string& error) {
    const std::string& name = v[0];
    const BackendRegistry& backends = BackendRegistry::process();
    if (backends.knows(name)) {
        r.device = name;
        return true;
    }
    return invalid(error, "--device: " + quoted(name) + " is not " + backends.namesText());
}

bool setLanguage(const Values& v, CliRequest& r, std::string& error) {
    int language = 0;
    if (!parseChoice("--lang", v[0], {"0", "1", "2"}, language, error)) {
        return false;
    }
    r.language = language;
    return true;
}

bool setWait(const Values& v, CliRequest& r, std::string& error) {
    long seconds = 0;
    if (!parseWhole(v[0], seconds) || seconds < 0 || seconds > kMaxWaitSeconds) {
        return invalid(error, "--wait: " + quoted(v[0]) + " is not a number of seconds 0 to " +
                                  std::to_string(kMaxWaitSeconds));
    }
    r.waitSeconds = static_cast<int>(seconds);
    return true;
}

bool setRecorder(const Values& v, CliRequest& r, std::string& error) {
    if (!parseWhole(v[0], r.recorder.emplace())) {
        return invalid(error, "--recorder: " + quoted(v[0]) + " is not a recorder number");
    }
    return true;
}

bool setInterval(const Values& v, CliRequest& r, std::string& error) {
    long minutes = 0;
    if (!parseWhole(v[0], minutes)) {
        return invalid(error, "--interval: " + quoted(v[0]) + " is not a whole number of minutes");
    }
    r.configure.interval = minutes;
    return true;
}

bool setSlot(const Values& v, CliRequest& r, std::string& error) {
    SlotChange change;
    change.inUse = true;
    if (!parseSlotNumber("--slot", v[0], change.slot, error) ||
        !parseTime("--slot " + v[0] + " START", v[1], change.start, error) ||
        !parseTime("--slot " + v[0] + " END", v[2], change.end, error)) {
        return false;
    }
    r.configure.slots.push_back(change);
    return true;
}

bool setSlotOff(const Values& v, CliRequest& r, std::string& error) {
    SlotChange change;
    if (!parseSlotNumber("--slot-off", v[0], change.slot, error)) {
        return false;
    }
    r.configure.slots.push_back(change);
    return true;
}

constexpr long kMaxDelayMinutes = 366L * 24 * 60; // a year

Setter limitSetter(LimitKind kind) {
    return [kind](const Values& v, CliRequest& r, std::string& error) {
        const std::string option = "--" + std::string(limitName(kind));
        const auto value = parseLimitNumber(v[0]);
        if (!value) {
            return invalid(error, option + ": " + quoted(v[0]) + " is not a number");
        }
        r.limits.values[static_cast<std::size_t>(kind)] = *value;
        return true;
    };
}

bool setLimitOff(const Values& v, CliRequest& r, std::string& error) {
    const auto kind = limitFromName(v[0]);
    if (!kind) {
        return invalid(error, "--off: " + quoted(v[0]) +
                                  " is not temp-high, temp-low, hum-high or hum-low");
    }
    r.limits.off.push_back(*kind);
    return true;
}

bool setDelay(const Values& v, CliRequest& r, std::string& error) {
    long minutes = 0;
    if (!parseWhole(v[0], minutes) || minutes < 0 || minutes > kMaxDelayMinutes) {
        return invalid(error, "--delay: " + quoted(v[0]) + " is not a number of minutes 0 to " +
                                  std::to_string(kMaxDelayMinutes));
    }
    r.limits.delayMinutes = static_cast<int>(minutes);
    return true;
}

const std::vector<OptionSpec>& optionSpecs() {
    using C = Command;
    static const std::vector<OptionSpec> specs = {
        {"--data-dir",
         1,
         {},
         [](const Values& v, CliRequest& r, std::string& e) {
             r.dataDir = v[0];
             return !v[0].empty() || invalid(e, "--data-dir: the folder name is empty");
         }},
        {"--device", 1, {}, setDevice},
        {"--lang", 1, {}, setLanguage},
        {"--wait", 1, {C::sync, C::info, C::configure}, setWait},
        {"--recorder", 1, commandsTakingARecorder(), setRecorder},
        {"--from",
         1,
         {C::exportRecords, C::stats},
         [](const Values& v, CliRequest& r, std::string& e) {
             return setPeriodBound("--from", v[0], PeriodEnd::start, r.from, e);
         }},
        {"--to",
         1,
         {C::exportRecords, C::stats},
         [](const Values& v, CliRequest& r, std::string& e) {
             return setPeriodBound("--to", v[0], PeriodEnd::end, r.to, e);
         }},
        {"--out",
         1,
         {C::exportRecords},
         [](const Values& v, CliRequest& r, std::string& e) {
             r.outPath = v[0];
             return !v[0].empty() || invalid(e, "--out: the file name is empty");
         }},
        {"--unit",
         1,
         {C::configure},
         [](const Values& v, CliRequest& r, std::string& e) {
             return parseChoice("--unit", v[0], {"C", "F"}, r.configure.unit.emplace(), e);
         }},
        {"--date-order",
         1,
         {C::configure},
         [](const Values& v, CliRequest& r, std::string& e) {
             return parseChoice("--date-order", v[0], {"md", "dm"}, r.configure.dateOrder.emplace(),
                                e);
         }},
        {"--circular",
         1,
         {C::configure},
         [](const Values& v, CliRequest& r, std::string& e) {
             int on = 0;
             if (!parseChoice("--circular", v[0], {"off", "on"}, on, e)) {
                 return false;
             }
             r.configure.circular = on == 1;
             return true;
         }},
        {"--interval", 1, {C::configure}, setInterval},
        {"--description",
         1,
         {C::configure},
         [](const Values& v, CliRequest& r, std::string&) {
             r.configure.description = v[0];
             return true;
         }},
        {"--slot", 3, {C::configure}, setSlot},
        {"--slot-off", 1, {C::configure}, setSlotOff},
        {"--mqtt",
         1,
         {C::watch, C::mqttForget},
         [](const Values& v, CliRequest& r, std::string&) {
             r.publish.url = v[0];
             return true;
         }},
        {"--mqtt-ca",
         1,
         {C::watch, C::mqttForget},
         [](const Values& v, CliRequest& r, std::string& e) {
             r.publish.caFile = v[0];
             return !v[0].empty() || invalid(e, "--mqtt-ca: the file name is empty");
         }},
        {"--mqtt-password-file",
         1,
         {C::watch, C::mqttForget},
         [](const Values& v, CliRequest& r, std::string& e) {
             r.publish.passwordFile = v[0];
             return !v[0].empty() || invalid(e, "--mqtt-password-file: the file name is empty");
         }},
        {"--mqtt-no-discovery",
         0,
         {C::watch},
         [](const Values&, CliRequest& r, std::string&) {
             r.publish.discovery = false;
             return true;
         }},
        {"--mqtt-cert",
         1,
         {C::watch, C::mqttForget},
         fileSetter("--mqtt-cert", &PublishRequest::certFile)},
        {"--mqtt-key",
         1,
         {C::watch, C::mqttForget},
         fileSetter("--mqtt-key", &PublishRequest::keyFile)},
        {"--mqtt-client-id",
         1,
         {C::watch, C::mqttForget},
         [](const Values& v, CliRequest& r, std::string& e) {
             r.publish.clientId = v[0];
             return !v[0].empty() || invalid(e, "--mqtt-client-id: the name is empty");
         }},
        {"--mqtt-discovery-prefix",
         1,
         {C::watch, C::mqttForget},
         [](const Values& v, CliRequest& r, std::string& e) {
             r.publish.discoveryPrefix = v[0];
             const std::string fault = topicPrefixFault(v[0]);
             return fault.empty() || invalid(e, "--mqtt-discovery-prefix: " + fault);
         }},
        {"--mqtt-rate",
         1,
         {C::watch},
         [](const Values& v, CliRequest& r, std::string& e) {
             long rate = 0;
             if (!parseWhole(v[0], rate) || rate < 1 || rate > kMaxRate) {
                 return invalid(e, "--mqtt-rate: " + quoted(v[0]) +
                                       " is not a number of records per second 1 to " +
                                       std::to_string(kMaxRate));
             }
             r.publish.rate = rate;
             return true;
         }},
        {"--unit",
         1,
         {C::limits},
         [](const Values& v, CliRequest& r, std::string& e) {
             int unit = 0;
             if (!parseChoice("--unit", v[0], {"C", "F"}, unit, e)) {
                 return false;
             }
             r.limits.fahrenheit = unit == 1;
             return true;
         }},
        {"--temp-high", 1, {C::limits}, limitSetter(LimitKind::tempHigh)},
        {"--temp-low", 1, {C::limits}, limitSetter(LimitKind::tempLow)},
        {"--hum-high", 1, {C::limits}, limitSetter(LimitKind::humHigh)},
        {"--hum-low", 1, {C::limits}, limitSetter(LimitKind::humLow)},
        {"--delay", 1, {C::limits}, setDelay},
        {"--off", 1, {C::limits}, setLimitOff},
        {"--json",
         0,
         {C::stats},
         [](const Values&, CliRequest& r, std::string&) {
             r.json = true;
             return true;
         }},
        {"--on-alarm",
         1,
         {C::watch},
         [](const Values& v, CliRequest& r, std::string& e) {
             r.onAlarm = v[0];
             return !v[0].empty() || invalid(e, "--on-alarm: the program name is empty");
         }},
    };
    return specs;
}

bool appliesTo(const OptionSpec& spec, const std::optional<Command>& command);

// An option may mean different things to different commands (--unit): the spelling that applies
// to the command given, else the first of that name.
const OptionSpec* findOption(const std::string& name, const std::optional<Command>& command) {
    const OptionSpec* found = nullptr;
    for (const OptionSpec& spec : optionSpecs()) {
        if (name == spec.name) {
            if (appliesTo(spec, command)) {
                return &spec;
            }
            found = found != nullptr ? found : &spec;
        }
    }
    return found;
}

bool findCommand(const std::string& name, Command& out) {
    for (const CommandSpec& spec : kCommands) {
        if (name == spec.name) {
            out = spec.command;
            return true;
        }
    }
    return false;
}

bool appliesTo(const OptionSpec& spec, const std::optional<Command>& command) {
    if (spec.commands.empty()) {
        return true;
    }
    return command &&
           std::find(spec.commands.begin(), spec.commands.end(), *command) != spec.commands.end();
}

ParseOutcome failure(int status, std::string message) {
    ParseOutcome outcome;
    outcome.status = status;
    outcome.message = std::move(message);
    return outcome;
}

// Checks that need the whole line.
ParseOutcome finish(const CliRequest& request) {
    if (commandSpec(request.command).needsRecorder && !request.recorder) {
        return failure(kExitUsage,
                       std::string(commandName(request.command)) + " needs --recorder N");
    }
    for (const LimitKind kind : request.limits.off) {
        if (request.limits.values[static_cast<std::size_t>(kind)]) {
            return failure(kExitUsage, "--off " + std::string(limitName(kind)) + " and --" +
                                           std::string(limitName(kind)) + " both given");
        }
    }
    if (request.from && request.to) {
        if (const std::string problem = periodOrderProblem(*request.from, *request.to);
            !problem.empty()) {
            return failure(kExitInvalid, problem);
        }
    }
    const PublishRequest& publish = request.publish;
    if (request.command == Command::mqttForget && publish.url.empty()) {
        return failure(kExitUsage, "mqtt-forget needs --mqtt URL");
    }
    if (publish.url.empty() && publish.anyOption()) {
        return failure(kExitUsage, "the --mqtt-... options need --mqtt URL");
    }
    const bool tls = publish.url.rfind("mqtts://", 0) == 0;
    for (const auto& [given, option] :
         {std::pair{&publish.caFile, "--mqtt-ca"}, std::pair{&publish.certFile, "--mqtt-cert"},
          std::pair{&publish.keyFile, "--mqtt-key"}}) {
        if (!given->empty() && !tls) {
            return failure(kExitUsage, std::string(option) + " needs an mqtts:// URL");
        }
    }
    if (publish.certFile.empty() != publish.keyFile.empty()) {
        return failure(kExitUsage, "--mqtt-cert and --mqtt-key go together");
    }
    if (!publish.url.empty() && !kMqttBuilt) {
        // Nothing is wrong with the line: the usage text would not help.
        return failure(kExitInvalid, "--mqtt: " + brokerUrlFault(publish.url));
    }
    if (!publish.url.empty()) {
        // The URL itself is not shown: it may hold a password.
        if (std::string fault = brokerUrlFault(publish.url); !fault.empty()) {
            return failure(kExitUsage, "--mqtt: " + fault);
        }
    }
    ParseOutcome outcome;
    outcome.request = request;
    return outcome;
}

// Walks the arguments once; global options may come anywhere, the command's own after it.
class LineReader {
public:
    explicit LineReader(const std::vector<std::string>& args) : args_(args) {}

    ParseOutcome read() {
        for (next_ = 0; next_ < args_.size();) {
            if (std::optional<ParseOutcome> failed = takeOne()) {
                return *failed;
            }
        }
        if (request_.help || request_.listCommands) {
            ParseOutcome outcome;
            outcome.request = request_;
            return outcome;
        }
        if (!command_) {
            return failure(kExitUsage, "no command given");
        }
        return finish(request_);
    }

private:
    static bool looksLikeOption(const std::string& word) { return word.rfind("-", 0) == 0; }

    // One option with its values, or the command; a failure when the line is wrong there.
    std::optional<ParseOutcome> takeOne() {
        std::string name = args_[next_++];
        std::optional<std::string> inlineValue;
        if (const std::size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != name.npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
        if (name == "--help" || name == "-h") {
            request_.help = true;
            return std::nullopt;
        }
        if (name == "--list-commands") {
            request_.listCommands = true;
            return std::nullopt;
        }
        const OptionSpec* spec = findOption(name, command_);
        if (spec == nullptr && !command_ && !looksLikeOption(name)) {
            return takeCommand(name);
        }
        if (spec == nullptr || !appliesTo(*spec, command_)) {
            const std::string where =
                command_ ? std::string(" for ") + commandName(*command_) : std::string();
            return failure(kExitUsage, looksLikeOption(name)
                                           ? "unknown option " + name + where
                                           : "unexpected argument \"" + name + "\"");
        }
        Values values;
        if (std::optional<ParseOutcome> failed = takeValues(*spec, inlineValue, values)) {
            return failed;
        }
        std::string error;
        if (!spec->set(values, request_, error)) {
            return failure(kExitInvalid, error);
        }
        return std::nullopt;
    }

    std::optional<ParseOutcome> takeCommand(const std::string& name) {
        Command found{};
        if (!findCommand(name, found)) {
            return failure(kExitUsage, "unknown command \"" + name + "\"");
        }
        command_ = found;
        request_.command = found;
        return std::nullopt;
    }

    std::optional<ParseOutcome> takeValues(const OptionSpec& spec,
                                           const std::optional<std::string>& inlineValue,
                                           Values& values) {
        const auto arity = static_cast<std::size_t>(spec.arity);
        if (inlineValue) {
            if (arity == 0) {
                return failure(kExitUsage, std::string(spec.name) + " takes no value");
            }
            if (arity != 1) {
                return failure(kExitUsage, std::string(spec.name) + " takes " +
                                               std::to_string(arity) + " separate values");
            }
            values.push_back(*inlineValue);
            return std::nullopt;
        }
        if (next_ + arity > args_.size()) {
            return failure(kExitUsage, std::string(spec.name) + " needs " +
                                           (arity == 1 ? std::string("a value")
                                                       : std::to_string(arity) + " values"));
        }
        values.assign(args_.begin() + static_cast<std::ptrdiff_t>(next_),
                      args_.begin() + static_cast<std::ptrdiff_t>(next_ + arity));
        next_ += arity;
        return std::nullopt;
    }

    const std::vector<std::string>& args_;
    std::size_t next_ = 0;
    CliRequest request_;
    std::optional<Command> command_;
};

// The description column of the help: words filled into lines from column 26 up to column 98.
std::string wrapped(const std::string& words) {
    constexpr std::size_t kIndent = 26;
    constexpr std::size_t kWidth = 98 - kIndent;
    std::string out;
    std::string line;
    std::size_t from = 0;
    while (from < words.size()) {
        std::size_t to = words.find(' ', from);
        to = to == std::string::npos ? words.size() : to;
        const std::string word = words.substr(from, to - from);
        if (!line.empty() && line.size() + 1 + word.size() > kWidth) {
            out += std::string(kIndent, ' ') + line + "\n";
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
        from = to + 1;
    }
    return out + std::string(kIndent, ' ') + line + "\n";
}

// What watch does besides downloading: the alarm program, and publishing where it is built.
std::string watchDetails() {
    std::string text = "; PROGRAM (an executable, run without arguments or shell, one run at a "
                       "time per recorder, stopped after 60 seconds) is run when an alarm event "
                       "begins and when it ends, with VELDRIN_RECORDER, VELDRIN_IDENTITY, "
                       "VELDRIN_LIMIT, VELDRIN_STATE (begin or end), VELDRIN_VALUE and "
                       "VELDRIN_TIME in its environment";
#if VELDRIN_HAVE_MQTT
    text += "; with --mqtt every saved record is also published to the broker at URL, "
            "mqtt://[USER@]HOST[:PORT][/PREFIX] or mqtts://... (TLS; port 1883 or 8883, prefix "
            "veldrin); the password comes from VELDRIN_MQTT_PASSWORD or the file given, never "
            "from the command line; --mqtt-rate sends a backlog at N records a second at most; "
            "NAME (default: the host name) names this machine's availability topic "
            "PREFIX/bridge/NAME/availability; discovery configurations go under PREFIX (default "
            "homeassistant), and --mqtt-no-discovery clears them";
#endif
    return text;
}

} // namespace

const CommandSpec& commandSpec(Command command) {
    for (const CommandSpec& spec : kCommands) {
        if (spec.command == command) {
            return spec;
        }
    }
    return kCommands[0]; // every Command has its entry
}

std::vector<CommandSpec> commandSpecs() {
    return {std::begin(kCommands), std::end(kCommands)};
}

const char* commandName(Command command) {
    return commandSpec(command).name;
}

std::vector<OptionName> optionNames() {
    std::vector<OptionName> names;
    for (const OptionSpec& spec : optionSpecs()) {
        names.push_back({spec.name, spec.commands});
    }
    return names;
}

std::vector<std::string> commandNames() {
    std::vector<std::string> names;
    for (const CommandSpec& spec : kCommands) {
        names.emplace_back(spec.name);
    }
    return names;
}

std::string brokerUrlFault(const std::string& url) {
#if VELDRIN_HAVE_MQTT
    return publish::parseBrokerUrl(url).error;
#else
    (void)url;
    return "this veldrin-cli was built without the MQTT client (libmosquitto)";
#endif
}

ParseOutcome parseCommandLine(const std::vector<std::string>& args) {
    LineReader reader(args);
    return reader.read();
}

std::string usageText() {
    const std::string devices = socketBackendBuilt()
                                    ? "hid|sim[:COUNT]|socket:PATH[,PATH...]|socket-dir:DIR"
                                    : "hid|sim[:COUNT]";
    std::string text = "Usage: veldrin-cli [--data-dir DIR] [--device " + devices +
                       "] [--lang 0|1|2] COMMAND [ARGS]\n";
    text += R"(
  sync [--wait SECONDS]   wait up to SECONDS (default 10) for a recorder, then run one connection:
                          connect, download, clock setting, download, idle; each status text is
                          printed as one line; every recorder attached is served in turn
  watch [--on-alarm PROGRAM])";
#if VELDRIN_HAVE_MQTT
    text += R"(
        [--mqtt URL [--mqtt-ca FILE] [--mqtt-cert FILE --mqtt-key FILE]
                    [--mqtt-password-file FILE] [--mqtt-client-id NAME] [--mqtt-rate N]
                    [--mqtt-discovery-prefix PREFIX] [--mqtt-no-discovery]])";
#endif
    // Appended piece by piece: GCC 12 at -O3 takes a chain of temporaries for overlapping copies.
    text += '\n';
    text += wrapped(std::string("every recorder attached at once (while several are, each line "
                                "names its recorder): presence poll every second, download every "
                                "15 seconds, until ") +
                    stopRequestWords() + watchDetails());
#if VELDRIN_HAVE_MQTT
    text +=
        R"(  mqtt-forget --recorder N --mqtt URL [--mqtt-ca FILE] [--mqtt-cert FILE --mqtt-key FILE]
              [--mqtt-password-file FILE] [--mqtt-client-id NAME] [--mqtt-discovery-prefix PREFIX]
                          remove what the broker keeps of recorder N (discovery configurations,
                          state, availability), for a recorder that is gone
)";
#endif
    text += R"(  info [--wait SECONDS] [--recorder N]
                          read and decode the attached recorder's header (no writes); with
                          several attached, --recorder N names the one
  list                    the registered recorders: number, identity, description, record count,
                          first and last record time
  export --recorder N [--from TIME] [--to TIME] [--out FILE]
                          recorder N's records between the two times (inclusive) as a
                          comma-separated file; standard output without --out
  clear --recorder N      clear the PC data of recorder N (its file keeps settings, no records)
  configure [--unit C|F] [--date-order md|dm] [--circular on|off] [--interval MINUTES]
            [--description TEXT] [--slot K START END]... [--slot-off K]... [--wait SECONDS]
            [--recorder N]
                          write the recorder's configuration; values not given stay as the
                          recorder has them; slots are numbered 1 to 4; with several recorders
                          attached, --recorder N names the one
  limits --recorder N [--temp-high V] [--temp-low V] [--hum-high V] [--hum-low V]
         [--delay MINUTES] [--off temp-high|temp-low|hum-high|hum-low]... [--unit C|F]
                          set the alarm limits given (temperatures in the recorder's own unit
                          unless --unit says otherwise, humidity in percent; an excursion
                          shorter than the delay is no alarm)
                          and print the limits in force; without options only print them
  stats --recorder N [--from TIME] [--to TIME] [--json]
                          recorder N's statistics between the two times (inclusive): records,
                          minimum, maximum, mean, standard deviation, mean kinetic temperature,
                          and the alarm events; --json prints them as one JSON object

Global options may stand before or after COMMAND. TIME is "YYYY-MM-DD HH:MM" or
"YYYY-MM-DD HH:MM:SS", local time, one argument (quote it); a --to given to the minute takes in
the whole minute. --device defaults to hid; --lang
defaults to the language chosen in main.ini (0 English, 1 German, 2 French).
--list-commands prints the command words, one a line (for scripts and shell completion).

Exit status: 0 success; 1 usage error; 2 invalid input or a data file that cannot be read or
written; 3 no recorder attached within the wait; 4 the recorder was lost or a download failed
part-way (the history on disk is consistent but may lack the newest records).
)";
    return text;
}

} // namespace veldrin::cli
