// watch: the window's work without a window, until the user or the system ends it.

#include "cli/alarm_hook.h"
#include "cli/chain_loop.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/fleet_loop.h"
#include "cli/stop_request.h"
#include "cli/watch_publishing.h"
#include "core/utf8_path.h"

#include <filesystem>
#include <memory>

namespace veldrin::cli {
namespace {

// The alarm program by its absolute path, so that what runs does not depend on the folder it is
// started from; empty (with a message) when it cannot be run at all.
std::string alarmProgram(const std::string& given) {
    std::error_code ec;
    const std::string program =
        utf8FromPath(std::filesystem::absolute(pathFromUtf8(given), ec).lexically_normal());
    const std::string fault = executableFault(ec ? given : program);
    if (!fault.empty()) {
        printError("--on-alarm: " + fault);
        return {};
    }
    return ec ? given : program;
}

} // namespace

int runWatch(const CliRequest& request, const Folders& folders) {
    int status = kExitOk;
    WatchPublishing publishing;
    if (!publishing.prepare(request, folders, status)) {
        return status;
    }
    std::string program;
    if (!request.onAlarm.empty() && (program = alarmProgram(request.onAlarm)).empty()) {
        return kExitInvalid;
    }
    Clock& clock = SystemClock::instance();
    const std::unique_ptr<AcquisitionContext> context =
        AcquisitionContext::open(request, folders, clock, status);
    if (!context) {
        return status;
    }
    const std::atomic<bool>& stopRequested = stopOnTermination();
    std::unique_ptr<AlarmHook> hook;
    if (!program.empty()) {
        hook = std::make_unique<AlarmHook>(program, systemChildLauncher(), clock, printError);
    }
    // Every recorder attached, each on a chain of its own; the console and the alarm watches
    // follow each chain.
    WatchConsole console(hook.get());
    RecorderFleet fleet(context->backend(), folders.data, clock, &console);
    console.setFleet(fleet);
    FleetLoop loop(fleet, clock);
    loop.setTickObserver([&console, &publishing] {
        console.noteAttached();
        publishing.noteTick();
        console.checkAlarms();
    });
    publishing.start([&console] { return console.attachedNumbers(); });
    loop.watch(stopRequested);
    publishing.stop();
    if (hook) {
        hook->finish();
    }
    confirmStopped();
    const FleetCounts counts = fleet.counts();
    if (counts.failedWrites != 0) {
        printError(saveFailureText());
        return kExitInvalid;
    }
    if (counts.filesMovedAside != 0) {
        printError(movedAsideText());
        return kExitInvalid;
    }
    return kExitOk;
}

} // namespace veldrin::cli
