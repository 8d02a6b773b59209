// sync: one connection as the window makes it for every recorder attached, then exit.

#include "cli/chain_loop.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/recorder_files.h"

#include <algorithm>

namespace veldrin::cli {
namespace {

// With several recorders attached, each one's lines follow a line naming its interface.
void announce(const std::string& interfacePath) {
    printLine("recorder at " + interfacePath + ":");
}

// The worse of two exit statuses: a failed save (2) outweighs an incomplete chain (4), which
// outweighs success.
int worseStatus(int a, int b) {
    const auto rank = [](int status) {
        return status == kExitInvalid ? 2 : status == kExitOk ? 0 : 1;
    };
    return rank(b) > rank(a) ? b : a;
}

// One connection with the recorder at `interfacePath`, on a chain of its own; 3 when it is gone
// before its turn.
int syncOther(AcquisitionContext& context, const std::string& interfacePath, Clock& clock) {
    announce(interfacePath);
    const std::unique_ptr<RecorderChain> chain = context.openChain(interfacePath);
    ChainLoop loop(chain->acquisition(), chain->reports(), clock);
    if (!loop.waitForRecorder(0)) {
        printError("the recorder at " + interfacePath + " was pulled before its turn");
        return kExitNoRecorder;
    }
    return exitStatusOf(loop.runToIdle());
}

} // namespace

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
    // The first recorder found runs as it always has; the others attached at that moment follow,
    // one after the other, each on a link, store and acquisition of its own.
    const std::string first = context->link().foundPath();
    std::vector<std::string> others = context->attachedInterfaces();
    others.erase(std::remove(others.begin(), others.end(), first), others.end());
    if (!others.empty()) {
        announce(first);
    }
    int result = exitStatusOf(loop.runToIdle());
    for (const std::string& path : others) {
        result = worseStatus(result, syncOther(*context, path, clock));
    }
    return result;
}

} // namespace veldrin::cli
