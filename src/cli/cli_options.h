#pragma once
// The command line of veldrin-cli: global options (before or after the command), the command and
// its options, parsed into a request. Parsing checks the syntax and the form of every value; what
// a value means for the recorder (interval range, times in the past, ...) is checked later.

#include "core/alarm_limits.h"
#include "core/date_time.h"

#include <array>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace veldrin::cli {

enum class Command {
    sync,
    watch,
    info,
    list,
    exportRecords,
    clear,
    configure,
    limits,
    stats,
    mqttForget
};

// What the command line knows of a command.
struct CommandSpec {
    const char* name; // as typed
    Command command;
    bool needsRecorder; // --recorder N belongs to it and must be given
};

// One --slot K START END or --slot-off K, in the order given; slot is 1..4.
struct SlotChange {
    int slot = 1;
    bool inUse = false;
    DateTime start;
    DateTime end;
};

// What configure was asked to change; an absent value stays as the recorder has it.
struct ConfigureRequest {
    std::optional<int> unit;                // 0 Celsius, 1 Fahrenheit
    std::optional<int> dateOrder;           // 0 month-day, 1 day-month
    std::optional<bool> circular;           // on / off
    std::optional<long> interval;           // minutes, range checked later
    std::optional<std::string> description; // UTF-8
    std::vector<SlotChange> slots;
};

// watch --mqtt: where the records are published. The URL is checked while the line is parsed;
// the password is read when watch starts (VELDRIN_MQTT_PASSWORD or --mqtt-password-file).
struct PublishRequest {
    std::string url; // empty: nothing is published
    std::string caFile;
    std::string certFile; // client certificate and its key, both or neither
    std::string keyFile;
    std::string passwordFile;
    std::string clientId;        // empty: made from the host name
    std::string discoveryPrefix; // empty: homeassistant
    long rate = 0;               // backlog records per second; 0: unlimited
    bool discovery = true;

    bool anyOption() const {
        return !caFile.empty() || !certFile.empty() || !keyFile.empty() || !passwordFile.empty() ||
               !clientId.empty() || !discoveryPrefix.empty() || rate != 0 || !discovery;
    }
};

// What limits was asked to change; temperatures in the unit of `fahrenheit` (--unit), else in the
// recorder's own unit.
struct LimitsRequest {
    std::array<std::optional<double>, 4> values{}; // indexed by LimitKind
    std::vector<LimitKind> off;
    std::optional<int> delayMinutes;
    std::optional<bool> fahrenheit;

    bool changes() const {
        return !off.empty() || delayMinutes.has_value() ||
               std::any_of(values.begin(), values.end(),
                           [](const auto& v) { return v.has_value(); });
    }
};

constexpr int kDefaultWaitSeconds = 10;

struct CliRequest {
    std::string dataDir;         // empty: the usual rule
    std::string device = "hid";  // a name of the backend registry: hid, sim or socket:PATH
    std::optional<int> language; // --lang; otherwise main.ini decides
    Command command = Command::sync;
    bool help = false;
    bool listCommands = false; // --list-commands: the command words, one a line (for scripts)

    int waitSeconds = kDefaultWaitSeconds; // sync, info, configure
    std::optional<long> recorder;          // export, clear, limits, stats
    std::optional<DateTime> from;          // export, stats
    std::optional<DateTime> to;
    std::string outPath; // export; empty: standard output
    ConfigureRequest configure;
    PublishRequest publish; // watch
    LimitsRequest limits;
    bool json = false;   // stats
    std::string onAlarm; // watch: the program run when an event begins or ends
};

struct ParseOutcome {
    int status = 0;      // kExitOk, or kExitUsage / kExitInvalid with `message`
    std::string message; // names the option or the value at fault
    CliRequest request;
};

ParseOutcome parseCommandLine(const std::vector<std::string>& args);

std::string usageText();

const CommandSpec& commandSpec(Command command);
// Every command, in the order of the usage text.
std::vector<CommandSpec> commandSpecs();
// The name of a command as typed.
const char* commandName(Command command);
// Every command's name, in the order of the help.
std::vector<std::string> commandNames();

// An option of the command line and the commands it belongs to (none: a global option).
struct OptionName {
    std::string name;
    std::vector<Command> commands;
};
// Every option the parser takes, --help aside.
std::vector<OptionName> optionNames();

// Empty when veldrin-cli can publish to this URL; otherwise why not (the URL's fault, or a build
// without the MQTT client).
std::string brokerUrlFault(const std::string& url);

} // namespace veldrin::cli
