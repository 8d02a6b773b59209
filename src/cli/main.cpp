// veldrin-cli: the recorder's acquisition, its data and its configuration from a terminal.

#include "cli/cli_options.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
#include "core/program_arguments.h"
#include "sim/sim_registration.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace veldrin::cli;

int dispatch(const CliRequest& request, const Folders& folders) {
    switch (request.command) {
    case Command::sync:
        return runSync(request, folders);
    case Command::watch:
        return runWatch(request, folders);
    case Command::info:
        return runInfo(request, folders);
    case Command::list:
        return runList(request, folders);
    case Command::exportRecords:
        return runExport(request, folders);
    case Command::clear:
        return runClear(request, folders);
    case Command::configure:
        return runConfigure(request, folders);
    case Command::limits:
        return runLimits(request, folders);
    case Command::stats:
        return runStats(request, folders);
    case Command::mqttForget:
        return runMqttForget(request, folders);
    }
    return kExitUsage;
}

} // namespace

int main(int argc, char** argv) {
    // Before the line is read: --device names the registry's backends.
    veldrin::sim::registerSimBackend();
    const ParseOutcome parsed = parseCommandLine(veldrin::programArguments(argc, argv));
    if (parsed.status == kExitUsage) {
        printError(parsed.message);
        std::fputs(usageText().c_str(), stderr);
        return kExitUsage;
    }
    if (parsed.status != kExitOk) {
        printError(parsed.message);
        return parsed.status;
    }
    if (parsed.request.listCommands) {
        for (const std::string& name : commandNames()) {
            std::printf("%s\n", name.c_str());
        }
        return kExitOk;
    }
    if (parsed.request.help) {
        std::fputs(usageText().c_str(), stdout);
        return kExitOk;
    }
    Folders folders;
    int status = kExitOk;
    if (!prepareFolders(parsed.request, folders, status)) {
        return status;
    }
    return dispatch(parsed.request, folders);
}
