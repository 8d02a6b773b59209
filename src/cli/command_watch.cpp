// watch: the window's work without a window, until the user or the system ends it.

#include "cli/chain_loop.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/stop_request.h"

namespace veldrin::cli {
int runWatch(const CliRequest& request, const Folders& folders) {
    int status = kExitOk;
    DataDirectoryLock lock;
    sim::BackendChoice backend;
    if (!lockDataFolder(lock, folders, request.command, status) ||
        !openBackend(request, backend, status)) {
        return status;
    }
    const std::atomic<bool>& stopRequested = stopOnTermination();
    Clock& clock = SystemClock::instance();
    AcquisitionContext context(folders, std::move(backend), clock);
    ChainLoop loop(context.acquisition(), context.reports(), clock);
    loop.watch(stopRequested);
    confirmStopped();
    if (loop.savesFailed()) {
        printError(saveFailureText());
        return kExitInvalid;
    }
    return kExitOk;
}

} // namespace veldrin::cli
