// watch: the window's work without a window, until SIGINT or SIGTERM.

#include "cli/chain_loop.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/watch_publishing.h"

#include <atomic>
#include <csignal>

namespace veldrin::cli {
namespace {

std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void requestStop(int) {
    stopRequested.store(true);
}

void installStopHandlers() {
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

} // namespace

int runWatch(const CliRequest& request, const Folders& folders) {
    int status = kExitOk;
    WatchPublishing publishing;
    if (!publishing.prepare(request, folders, status)) {
        return status;
    }
    DataDirectoryLock lock;
    sim::BackendChoice backend;
    if (!lockDataFolder(lock, folders, request.command, status) ||
        !openBackend(request, backend, status)) {
        return status;
    }
    installStopHandlers();
    Clock& clock = SystemClock::instance();
    AcquisitionContext context(folders, std::move(backend), clock);
    ChainLoop loop(context.acquisition(), context.reports(), clock);
    publishing.start(context);
    loop.watch(stopRequested);
    publishing.stop();
    if (loop.savesFailed()) {
        printError(saveFailureText());
        return kExitInvalid;
    }
    return kExitOk;
}

} // namespace veldrin::cli
