#pragma once
// The commands of veldrin-cli; each returns its exit status and prints its own messages.

#include "cli/cli_context.h"
#include "cli/cli_options.h"

namespace veldrin::cli {

int runSync(const CliRequest& request, const Folders& folders);
int runWatch(const CliRequest& request, const Folders& folders);
int runInfo(const CliRequest& request, const Folders& folders);
int runList(const CliRequest& request, const Folders& folders);
int runExport(const CliRequest& request, const Folders& folders);
int runClear(const CliRequest& request, const Folders& folders);
int runConfigure(const CliRequest& request, const Folders& folders);

} // namespace veldrin::cli
