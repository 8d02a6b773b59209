// stats: statistics and alarm events of a recorder's records between two times.

#include "analysis/statistics.h"
#include "cli/alarm_text.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/recorder_files.h"
#include "store/data_file.h"

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
    const DateTime from = request.from.value_or(earliestTime());
    const DateTime to = request.to.value_or(latestTime());
    const WindowStatistics stats = computeStatistics(file.content.records, from, to,
                                                     file.content.settings.tempUnit != 0, limits);
    // What a filed report of the same period prints, for checking it against the data file.
    const std::string fingerprint = recordFingerprint(file.content.records, from, to);
    if (request.json) {
        const std::string json = statisticsJson(number, stats, limits, fingerprint);
        if (std::fputs(json.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
            printError("cannot write to standard output");
            return kExitInvalid;
        }
        return kExitOk;
    }
    for (const std::string& line : statisticsLines(number, stats, limits)) {
        printLine(line);
    }
    printLine("fingerprint: SHA-256 " + (fingerprint.empty() ? "unavailable" : fingerprint));
    return kExitOk;
}

} // namespace veldrin::cli
