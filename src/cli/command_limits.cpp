// limits: a recorder's alarm limits in main.ini, set and printed.

#include "cli/alarm_text.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/recorder_files.h"
#include "core/clock.h"
#include "store/alarm_limits_store.h"
#include "store/data_file.h"

namespace veldrin::cli {
namespace {

AlarmLimits changed(AlarmLimits limits, const LimitsRequest& request, bool fahrenheit) {
    for (const LimitKind kind : request.off) {
        limits[kind].reset();
    }
    for (const LimitKind kind : kLimitKinds) {
        if (const auto& value = request.values[static_cast<std::size_t>(kind)]) {
            limits[kind] =
                isTemperatureLimit(kind) ? celsiusFromDisplay(*value, fahrenheit) : *value;
        }
    }
    if (request.delayMinutes) {
        limits.delayMinutes = *request.delayMinutes;
    }
    return limits;
}

// The recorder's own unit, in which stats shows its figures; Celsius when its file cannot be read.
bool recordersUnitIsFahrenheit(const Folders& folders, int32_t number) {
    CVeldrinDoc doc(SystemClock::instance());
    RecorderSettings settings;
    return doc.peekSettings(dataFilePath(folders.data, number), settings) != 0 &&
           settings.tempUnit != 0;
}

// The keys the command line names; the others are not written at all.
AlarmLimitKeys keysOf(const LimitsRequest& request) {
    AlarmLimitKeys keys;
    for (const LimitKind kind : request.off) {
        keys.limits[static_cast<std::size_t>(kind)] = true;
    }
    for (const LimitKind kind : kLimitKinds) {
        if (request.values[static_cast<std::size_t>(kind)]) {
            keys.limits[static_cast<std::size_t>(kind)] = true;
        }
    }
    keys.delay = request.delayMinutes.has_value();
    return keys;
}

} // namespace

// The stored limits that cannot be used are said on standard error, as they are switched off.
AlarmLimits readLimitsReporting(const Folders& folders, int32_t number) {
    StoredAlarmLimits stored = readAlarmLimits(IniSnapshot::load(mainIniPath(folders)), number);
    for (const std::string& problem : stored.problems) {
        printError(problem);
    }
    return stored.limits;
}

int runLimits(const CliRequest& request, const Folders& folders) {
    const long number = *request.recorder;
    if (!isRegistered(folders, number)) {
        return kExitInvalid;
    }
    const auto recorder = static_cast<int32_t>(number);
    AlarmLimits limits = readLimitsReporting(folders, recorder);
    const bool fahrenheit = request.limits.fahrenheit
                                ? *request.limits.fahrenheit
                                : recordersUnitIsFahrenheit(folders, recorder);
    if (request.limits.changes()) {
        int status = kExitOk;
        DataDirectoryLock lock;
        if (!lockDataFolder(lock, folders, request.command, status)) {
            return status;
        }
        // Read again under the lock: another program may have changed them meanwhile.
        limits = changed(readAlarmLimits(IniSnapshot::load(mainIniPath(folders)), recorder).limits,
                         request.limits, fahrenheit);
        IniFile ini(mainIniPath(folders));
        std::string error;
        if (!writeAlarmLimits(ini, recorder, limits, keysOf(request.limits), error)) {
            printError("the limits of recorder " + std::to_string(number) +
                       " were not changed: " + error);
            return kExitInvalid;
        }
        // What every reader takes from main.ini now: the keys not written count as they stand.
        limits = readAlarmLimits(ini.snapshot(), recorder).limits;
    }
    for (const std::string& line : limitLines(limits, fahrenheit)) {
        printLine(line);
    }
    return kExitOk;
}

} // namespace veldrin::cli
