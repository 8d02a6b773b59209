#pragma once
// The commands of veldrin-cli; each returns its exit status and prints its own messages.

#include "cli/cli_context.h"
#include "cli/cli_options.h"
#include "core/alarm_limits.h"

#include <cstdint>

namespace veldrin::cli {

int runSync(const CliRequest& request, const Folders& folders);
int runWatch(const CliRequest& request, const Folders& folders);
int runInfo(const CliRequest& request, const Folders& folders);
int runList(const CliRequest& request, const Folders& folders);
int runExport(const CliRequest& request, const Folders& folders);
int runClear(const CliRequest& request, const Folders& folders);
int runConfigure(const CliRequest& request, const Folders& folders);
int runLimits(const CliRequest& request, const Folders& folders);
int runStats(const CliRequest& request, const Folders& folders);
// mqtt-forget: the retained messages of a recorder that is gone removed from the broker.
int runMqttForget(const CliRequest& request, const Folders& folders);

// A recorder's alarm limits from main.ini; what cannot be used is said on standard error.
AlarmLimits readLimitsReporting(const Folders& folders, int32_t number);

} // namespace veldrin::cli
