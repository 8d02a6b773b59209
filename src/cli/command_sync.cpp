// sync: one connection as the window makes it, then exit.

#include "cli/chain_loop.h"
#include "cli/commands.h"
#include "cli/exit_status.h"

namespace veldrin::cli {

int runSync(const CliRequest& request, const Folders& folders) {
    int status = kExitOk;
    DataDirectoryLock lock;
    sim::BackendChoice backend;
    if (!lockDataFolder(lock, folders, request.command, status) ||
        !openBackend(request, backend, status)) {
        return status;
    }
    Clock& clock = SystemClock::instance();
    AcquisitionContext context(folders, std::move(backend), clock);
    ChainLoop loop(context.acquisition(), context.reports(), clock);
    if (!loop.waitForRecorder(request.waitSeconds)) {
        printNoRecorder(request.waitSeconds);
        return kExitNoRecorder;
    }
    return exitStatusOf(loop.runToIdle());
}

} // namespace veldrin::cli
