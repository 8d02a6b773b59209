// sync: one connection as the window makes it, then exit.

#include "cli/chain_loop.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/recorder_files.h"

namespace veldrin::cli {

int runSync(const CliRequest& request, const Folders& folders) {
    // A damaged main.ini is said and nothing is written: not the registry, not a data file, not
    // even the recorder's clock.
    if (readRegistry(folders).damaged()) {
        return kExitInvalid;
    }
    int status = kExitOk;
    Clock& clock = SystemClock::instance();
    const std::unique_ptr<AcquisitionContext> context =
        AcquisitionContext::open(request, folders, clock, status);
    if (!context) {
        return status;
    }
    ChainLoop loop(context->acquisition(), context->reports(), clock);
    if (!loop.waitForRecorder(request.waitSeconds)) {
        printNoRecorder(request.waitSeconds);
        return kExitNoRecorder;
    }
    return exitStatusOf(loop.runToIdle());
}

} // namespace veldrin::cli
