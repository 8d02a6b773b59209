// stats: statistics and alarm events of a recorder's records between two times.

#include "analysis/statistics.h"
#include "cli/alarm_text.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/recorder_files.h"

#include <cstdio>

namespace veldrin::cli {

int runStats(const CliRequest& request, const Folders& folders) {
    const long number = *request.recorder;
    if (!isRegistered(folders, number)) {
        return kExitInvalid;
    }
    const RecorderFile file = readRecorderFile(folders, static_cast<int32_t>(number));
    if (file.state != FileState::ok) {
        printError(file.message);
        return kExitInvalid;
    }
    const AlarmLimits limits = readLimitsReporting(folders, static_cast<int32_t>(number));
    const WindowStatistics stats = computeStatistics(
        file.content.records, request.from.value_or(earliestTime()),
        request.to.value_or(latestTime()), file.content.settings.tempUnit != 0, limits);
    if (request.json) {
        const std::string json = statisticsJson(number, stats, limits);
        if (std::fputs(json.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
            printError("cannot write to standard output");
            return kExitInvalid;
        }
        return kExitOk;
    }
    for (const std::string& line : statisticsLines(number, stats, limits)) {
        printLine(line);
    }
    return kExitOk;
}

} // namespace veldrin::cli
