// configure: the Setting command without its dialog. The connection is run to idle first
// (identification, registration when new, download, clock setting) as the window has always done
// before its Setting command can run; then the changes are checked against the recorder's
// configuration, written and read back.

#include "cli/chain_loop.h"
#include "cli/commands.h"
#include "cli/configure_plan.h"
#include "cli/exit_status.h"
#include "cli/recorder_choice.h"

#include <optional>

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
void printHeld(const std::string& heading, const RecorderSettings& readBack) {
    printLine(heading);
    for (const std::string& line : describeConfiguration(editFromSettings(readBack))) {
        printLine("  " + line);
    }
}

// What a write that did not go through left behind; none for one that did.
std::optional<std::string> writeFailureText(Acquisition::WriteResult result) {
    switch (result) {
    case Acquisition::WriteResult::written:
        return std::nullopt;
    case Acquisition::WriteResult::refused:
        return "the configuration was written only in part: the recorder refused a write";
    case Acquisition::WriteResult::lost:
        return "the configuration may have been written in part: the recorder stopped answering "
               "(the description is kept in the data file)";
    case Acquisition::WriteResult::exchanged:
        return "nothing was written: the recorder attached is not the one that was connected; "
               "run configure again";
    }
    return std::nullopt;
}

} // namespace

int runConfigure(const CliRequest& request, const Folders& folders) {
    Clock& clock = SystemClock::instance();
    if (!requestIsAccepted(request.configure, clock.nowLocal())) {
        return kExitInvalid;
    }
    int status = kExitOk;
    const std::unique_ptr<AcquisitionContext> context =
        AcquisitionContext::open(request, folders, clock, status);
    if (!context) {
        return status;
    }
    std::string chosen;
    if (!chooseRecorder(request, context->backend(), folders, chosen, status)) {
        return status;
    }
    context->bindFirst(chosen);
    Acquisition& acquisition = context->acquisition();
    ChainLoop loop(acquisition, context->reports(), clock);

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

    const ConfigurePlan plan = planConfiguration(
        request.configure, context->store().connectedSettings(), clock.nowLocal());
    if (!planIsAccepted(plan)) {
        return kExitInvalid;
    }
    const Acquisition::WriteResult result = acquisition.writeConfiguration(plan.edit);
    const std::optional<std::string> failure = writeFailureText(result);
    if (!failure) {
        printHeld("written to the recorder:", context->store().connectedSettings());
    } else if (result == Acquisition::WriteResult::refused) {
        printHeld("the recorder holds, as read back:", context->store().connectedSettings());
    }
    status = exitStatusOf(loop.runToIdle());
    if (failure) {
        printError(*failure);
        if (status == kExitOk) {
            status = kExitIncomplete;
        }
    }
    return status;
}

} // namespace veldrin::cli
