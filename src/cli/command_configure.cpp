// configure: the Setting command without its dialog. The connection is run to idle first
// (identification, registration when new, download, clock setting) as the window has always done
// before its Setting command can run; then the changes are checked against the recorder's
// configuration, written and read back.

#include "cli/chain_loop.h"
#include "cli/commands.h"
#include "cli/configure_plan.h"
#include "cli/exit_status.h"

namespace veldrin::cli {
namespace {

bool planIsAccepted(const ConfigurePlan& plan) {
    for (const std::string& warning : plan.warnings) {
        printError("warning: " + warning);
    }
    for (const std::string& error : plan.errors) {
        printError(error);
    }
    if (!plan.ok()) {
        printError("nothing was written to the recorder");
    }
    return plan.ok();
}

// Faults of the command line are told before anything is waited for.
bool requestIsAccepted(const ConfigureRequest& request, const DateTime& now) {
    const std::vector<std::string> errors = checkConfigureRequest(request, now);
    for (const std::string& error : errors) {
        printError(error);
    }
    if (!errors.empty()) {
        printError("nothing was written to the recorder");
    }
    return errors.empty();
}

// What the recorder took, as read back from it (the description is the PC's).
void printWritten(const RecorderSettings& readBack) {
    printLine("written to the recorder:");
    for (const std::string& line : describeConfiguration(editFromSettings(readBack))) {
        printLine("  " + line);
    }
}

} // namespace

int runConfigure(const CliRequest& request, const Folders& folders) {
    Clock& clock = SystemClock::instance();
    if (!requestIsAccepted(request.configure, clock.nowLocal())) {
        return kExitInvalid;
    }
    int status = kExitOk;
    DataDirectoryLock lock;
    sim::BackendChoice backend;
    if (!lockDataFolder(lock, folders, request.command, status) ||
        !openBackend(request, backend, status)) {
        return status;
    }
    AcquisitionContext context(folders, std::move(backend), clock);
    Acquisition& acquisition = context.acquisition();
    ChainLoop loop(acquisition, context.reports(), clock);

    if (!loop.waitForRecorder(request.waitSeconds)) {
        printNoRecorder(request.waitSeconds);
        return kExitNoRecorder;
    }
    // The whole connection first, as sync makes it: a new configuration can leave records that
    // were not downloaded beyond reach (linear recording with slots reads only slot ranges).
    const ChainOutcome connection = loop.runToIdle();
    if (connection != ChainOutcome::idle) {
        status = exitStatusOf(connection);
        printError("nothing was written to the recorder");
        return status;
    }

    const ConfigurePlan plan =
        planConfiguration(request.configure, context.store().connectedSettings(), clock.nowLocal());
    if (!planIsAccepted(plan)) {
        return kExitInvalid;
    }
    const bool readBack = acquisition.writeSettings(plan.edit) != 0;
    if (readBack) {
        printWritten(context.store().connectedSettings());
    }
    status = exitStatusOf(loop.runToIdle());
    if (!readBack && status == kExitOk) {
        printError("the configuration could not be written: the recorder refused a write, was "
                   "removed or exchanged, or its header could not be read back");
        status = kExitIncomplete;
    }
    return status;
}

} // namespace veldrin::cli
