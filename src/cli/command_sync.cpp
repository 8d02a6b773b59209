// sync: one connection as the window makes it, then exit.

#include "cli/chain_loop.h"
#include "cli/commands.h"
#include "cli/exit_status.h"

namespace veldrin::cli {

int runSync(const CliRequest& request, const Folders& folders) {
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
