// watch: the window's work without a window, until the user or the system ends it.

#include "cli/alarm_hook.h"
#include "cli/chain_loop.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
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
    ChainLoop loop(context->acquisition(), context->reports(), clock);
    std::unique_ptr<AlarmHook> hook;
    std::unique_ptr<AlarmWatch> alarms;
    if (!program.empty()) {
        hook = std::make_unique<AlarmHook>(program, systemChildLauncher(), clock, printError);
        alarms = std::make_unique<AlarmWatch>(context->store(), *hook, printError, printLine);
    }
    loop.setTickObserver([&alarms, &publishing] {
        publishing.noteTick();
        if (alarms) {
            alarms->check();
        }
    });
    publishing.start(*context);
    loop.watch(stopRequested);
    publishing.stop();
    if (hook) {
        hook->finish();
    }
    confirmStopped();
    if (loop.savesFailed()) {
        printError(saveFailureText());
        return kExitInvalid;
    }
    if (loop.filesMovedAside()) {
        printError(movedAsideText());
        return kExitInvalid;
    }
    return kExitOk;
}

} // namespace veldrin::cli
